// kavren-camera-sim: one simulated VISCA-over-IP camera on a loopback address, for demos and end-to-end tests.

#include "CameraSimulator.h"
#include "SimModels.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop notices the byte and quits.
void onSignal(int)
{
	const char byte = 1;
	const ssize_t written = ::write(signalPipe[1], &byte, 1);
	(void)written;
}

QString modelList()
{
	QString text;
	for (const SimModel &m : SimModels::all()) {
		text += QStringLiteral("  %1  code %2, identifies as %3, commands of %4\n")
				.arg(m.name, -10)
				.arg(m.idCode.isEmpty() ? QStringLiteral("(none)") : m.idCode, -6)
				.arg(SimModels::familyName(m.family), -5)
				.arg(SimModels::linkClassName(m.linkClass));
	}
	return text;
}

} // namespace

int main(int argc, char *argv[])
{
	// Installed before anything else, so a stop request during start-up waits in the pipe instead of killing
	// the process before it has released its port.
	if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
		std::perror("kavren-camera-sim: socketpair");
		return 1;
	}
	struct sigaction action = {};
	action.sa_handler = onSignal;
	sigemptyset(&action.sa_mask);
	action.sa_flags = SA_RESTART;
	sigaction(SIGINT, &action, nullptr);
	sigaction(SIGTERM, &action, nullptr);

	QCoreApplication app(argc, argv);
	QCoreApplication::setApplicationName(QStringLiteral("kavren-camera-sim"));

	QCommandLineParser parser;
	parser.setApplicationDescription(
		QStringLiteral("A simulated VISCA-over-IP PTZ camera on a loopback address.\n\n"
			       "Models (the first is the default):\n") +
		modelList() +
		QStringLiteral(
			"\nAny other model name answers like the default model but reports the ID code \"%1\",\n"
			"which no camera table knows, so identification yields \"Unknown\" (e.g. --model UNLISTED).\n"
			"Only addresses in 127.0.0.0/8 are accepted.")
			.arg(QLatin1String(SimModels::unlistedCode())));
	parser.addHelpOption();
	const QCommandLineOption addressOption(QStringLiteral("address"),
					       QStringLiteral("Loopback address to bind (default 127.0.0.2)."),
					       QStringLiteral("A"), QStringLiteral("127.0.0.2"));
	const QCommandLineOption portOption(QStringLiteral("port"),
					    QStringLiteral("UDP port (default 52381; 0 picks a free one)."),
					    QStringLiteral("P"), QStringLiteral("52381"));
	const QCommandLineOption modelOption(QStringLiteral("model"),
					     QStringLiteral("Camera model to simulate (default NX-B93K)."),
					     QStringLiteral("NAME"), QStringLiteral("NX-B93K"));
	const QCommandLineOption logOption(
		QStringLiteral("log"),
		QStringLiteral("Print every datagram as a line \"rx <hex bytes>\" or \"tx <hex bytes>\"."));
	const QCommandLineOption durationOption(
		QStringLiteral("duration"),
		QStringLiteral("Stop after this many seconds (default: run until SIGINT or SIGTERM)."),
		QStringLiteral("SECONDS"));
	parser.addOptions({addressOption, portOption, modelOption, logOption, durationOption});
	parser.process(app);

	CameraSimulator::Options options;
	const QString addressText = parser.value(addressOption);
	options.address = QHostAddress(addressText);
	// Network safety: the simulated camera must never appear on a real network.
	if (options.address.protocol() != QAbstractSocket::IPv4Protocol || !options.address.isLoopback()) {
		std::fprintf(stderr,
			     "kavren-camera-sim: refusing address \"%s\": only loopback addresses in 127.0.0.0/8 are "
			     "allowed\n",
			     qPrintable(addressText));
		return 2;
	}
	bool ok = false;
	const uint port = parser.value(portOption).toUInt(&ok);
	if (!ok || port > 65535) {
		std::fprintf(stderr, "kavren-camera-sim: invalid port \"%s\"\n", qPrintable(parser.value(portOption)));
		return 2;
	}
	options.port = quint16(port);
	options.model = parser.value(modelOption);
	options.log = parser.isSet(logOption);
	double duration = 0;
	if (parser.isSet(durationOption)) {
		duration = parser.value(durationOption).toDouble(&ok);
		if (!ok || duration <= 0) {
			std::fprintf(stderr, "kavren-camera-sim: invalid duration \"%s\"\n",
				     qPrintable(parser.value(durationOption)));
			return 2;
		}
	}

	QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
	QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&]() {
		char byte = 0;
		const ssize_t got = ::read(signalPipe[0], &byte, 1);
		(void)got;
		app.quit();
	});

	CameraSimulator simulator(options);
	QString error;
	if (!simulator.start(&error)) {
		std::fprintf(stderr, "kavren-camera-sim: %s\n", qPrintable(error));
		return 1;
	}
	const SimModel model = simulator.model();
	std::fprintf(stderr, "kavren-camera-sim: %s (code %s) listening on %s:%u\n", qPrintable(model.name),
		     model.idCode.isEmpty() ? "none" : qPrintable(model.idCode),
		     qPrintable(simulator.address().toString()), unsigned(simulator.port()));
	std::fflush(stderr);

	if (duration > 0)
		QTimer::singleShot(int(duration * 1000), &app, &QCoreApplication::quit);
	const int rc = app.exec();
	simulator.stop();
	::close(signalPipe[0]);
	::close(signalPipe[1]);
	return rc;
}
