// kavren-camera-sim: simulated VISCA-over-IP cameras on loopback addresses, for demos and end-to-end tests.
// One camera by default; several (a fleet) with --fleet N or with several --address/--model values.

#include "CameraSimulator.h"
#include "SimFleet.h"
#include "SimModels.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QNetworkProxy>
#include <QSocketNotifier>
#include <QTimer>
#include <QUdpSocket>

#include <csignal>
#include <cstdio>
#include <memory>
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

// The camera's dialect and quirks from the command line; false (with a message) for a word it does not know.
bool readDialect(const QString &dialect, const QStringList &quirks, CameraSimulator::Options &options)
{
	using Carriage = SimViscaEndpoint::Carriage;
	if (dialect == QLatin1String("udp"))
		options.carriage = Carriage::BareUdp;
	else if (dialect == QLatin1String("tcp"))
		options.carriage = Carriage::Tcp;
	else if (!dialect.isEmpty() && dialect != QLatin1String("ip")) {
		std::fprintf(stderr, "kavren-camera-sim: invalid dialect \"%s\" (ip, udp or tcp)\n",
			     qPrintable(dialect));
		return false;
	}
	for (const QString &quirk : quirks) {
		if (quirk == QLatin1String("strict-sequence"))
			options.quirks.strictSequence = true;
		else if (quirk == QLatin1String("replies-to-52381"))
			options.quirks.repliesToPort = 52381;
		else if (quirk == QLatin1String("fixed-echo"))
			options.quirks.fixedEcho = true;
		else {
			std::fprintf(stderr,
				     "kavren-camera-sim: invalid quirk \"%s\" (strict-sequence, replies-to-52381 or "
				     "fixed-echo)\n",
				     qPrintable(quirk));
			return false;
		}
	}
	return true;
}

// Whether a camera (another simulator, most likely) already answers at the address: it shares its port with the
// relay's socket, so binding would succeed beside it and the two would split the datagrams between them. Asked
// with a version inquiry on loopback, the only place a simulator runs.
bool cameraAnswersAt(const QHostAddress &address, quint16 port)
{
	QUdpSocket socket;
	socket.setProxy(QNetworkProxy::NoProxy);
	if (!socket.bind(QHostAddress(QHostAddress::LocalHost), 0))
		return false;
	const QByteArray inquiry = QByteArray::fromHex("0110000500000001"
						       "81090002ff");
	socket.writeDatagram(inquiry, address, port);
	return socket.waitForReadyRead(300);
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
			"Only addresses in 127.0.0.0/8 are accepted.\n\n"
			"Every camera also answers WS-Discovery Probes on UDP port 3702 of its address with a "
			"ProbeMatch\n"
			"that announces its name (onvif://www.onvif.org/name/<name>) and its service address\n"
			"(http://<address>/onvif/device_service). Discovery styles, after the firmwares met in the "
			"field:\n"
			"  d     prefix d: (the default); an IPv6 service URL before the IPv4 one\n"
			"  wsdd  prefix wsdd:; scope written Name/; the IPv4 URL, a new line, an IPv6 URL\n"
			"  tns   prefix tns:; an https URL with a port before the http one\n\n"
			"Fleet: --fleet N runs N cameras in one process, on consecutive addresses from the first\n"
			"--address (default 127.0.0.2), of different models unless --model values are given; repeated\n"
			"--address, --model and --name values describe the cameras in order. A Probe sent to any\n"
			"camera of a fleet is answered by every camera, each from its own address, e.g.\n"
			"  kavren-camera-sim --fleet 3 --address 127.0.0.71\n"
			"  kavren-camera-sim --address 127.0.0.71 --model NX-HX7 --name Studio-Left \\\n"
			"                    --address 127.0.0.72 --model NX-D26G --name Studio-Right")
			.arg(QLatin1String(SimModels::unlistedCode())));
	parser.addHelpOption();
	const QCommandLineOption addressOption(
		QStringLiteral("address"),
		QStringLiteral("Loopback address to bind (default 127.0.0.2); repeat for several cameras."),
		QStringLiteral("A"), QStringLiteral("127.0.0.2"));
	const QCommandLineOption portOption(QStringLiteral("port"),
					    QStringLiteral("UDP port (default 52381; 0 picks a free one)."),
					    QStringLiteral("P"), QStringLiteral("52381"));
	const QCommandLineOption modelOption(
		QStringLiteral("model"),
		QStringLiteral("Camera model to simulate (default NX-B93K); repeat for several cameras."),
		QStringLiteral("NAME"));
	const QCommandLineOption logOption(
		QStringLiteral("log"),
		QStringLiteral("Print every datagram as a line \"rx <hex bytes>\" or \"tx <hex bytes>\"."));
	const QCommandLineOption durationOption(
		QStringLiteral("duration"),
		QStringLiteral("Stop after this many seconds (default: run until SIGINT or SIGTERM)."),
		QStringLiteral("SECONDS"));
	const QCommandLineOption nameOption(
		QStringLiteral("name"),
		QStringLiteral(
			"Name the camera announces in discovery (default: its model); repeat for several cameras."),
		QStringLiteral("TEXT"));
	const QCommandLineOption styleOption(QStringLiteral("discovery-style"),
					     QStringLiteral("Namespace style of the discovery answers: d, wsdd or tns "
							    "(default d; a fleet without this option mixes them)."),
					     QStringLiteral("STYLE"));
	const QCommandLineOption discoveryPortOption(QStringLiteral("discovery-port"),
						     QStringLiteral("WS-Discovery UDP port (default 3702)."),
						     QStringLiteral("P"), QStringLiteral("3702"));
	const QCommandLineOption moveOption(
		QStringLiteral("move-ms-per-unit"),
		QStringLiteral("Milliseconds a preset recall, direct zoom or direct focus takes per 256 position steps "
			       "of travel before it completes (default %1; 0 completes at once).")
			.arg(CameraSimulator::kDefaultMoveMsPerUnit),
		QStringLiteral("MS"));
	const QCommandLineOption fleetOption(QStringLiteral("fleet"),
					     QStringLiteral("Run N cameras on consecutive loopback addresses."),
					     QStringLiteral("N"));
	const QCommandLineOption dialectOption(
		QStringLiteral("dialect"),
		QStringLiteral(
			"How the camera takes VISCA: ip (the header, UDP; default), udp (bare messages in UDP "
			"datagrams, port 1259 unless --port says otherwise) or tcp (bare messages on a TCP stream, "
			"port 5678). One camera only."),
		QStringLiteral("DIALECT"));
	const QCommandLineOption quirkOption(
		QStringLiteral("quirk"),
		QStringLiteral(
			"A way the camera departs from VISCA over IP's rules; repeat for several: strict-sequence "
			"(a sequence number seen already gets 0F 01 until a RESET), replies-to-52381 (replies go "
			"to port 52381 of the controller), fixed-echo (every reply echoes sequence number 1). "
			"One camera only."),
		QStringLiteral("QUIRK"));
	parser.addOptions({addressOption, portOption, modelOption, nameOption, styleOption, discoveryPortOption,
			   fleetOption, moveOption, logOption, durationOption, dialectOption, quirkOption});
	parser.process(app);

	bool ok = false;
	const QStringList addressTexts = parser.values(addressOption);
	QList<QHostAddress> addresses;
	for (const QString &addressText : addressTexts) {
		const QHostAddress address(addressText);
		// Network safety: the simulated camera must never appear on a real network.
		if (address.protocol() != QAbstractSocket::IPv4Protocol || !address.isLoopback()) {
			std::fprintf(
				stderr,
				"kavren-camera-sim: refusing address \"%s\": only loopback addresses in 127.0.0.0/8 "
				"are allowed\n",
				qPrintable(addressText));
			return 2;
		}
		addresses.append(address);
	}
	int fleetSize = 0;
	if (parser.isSet(fleetOption)) {
		fleetSize = parser.value(fleetOption).toInt(&ok);
		if (!ok || fleetSize < 1 || fleetSize > 250) {
			std::fprintf(stderr, "kavren-camera-sim: invalid fleet size \"%s\" (1 to 250)\n",
				     qPrintable(parser.value(fleetOption)));
			return 2;
		}
	}
	const QStringList models = parser.values(modelOption);
	const QStringList names = parser.values(nameOption);
	const int count = qMax(qMax(fleetSize, int(addresses.size())), qMax(int(models.size()), int(names.size())));
	SimDiscoveryStyle style = SimDiscoveryStyle::D;
	if (parser.isSet(styleOption) && !SimDiscoveryResponder::parseStyle(parser.value(styleOption), &style)) {
		std::fprintf(stderr, "kavren-camera-sim: invalid discovery style \"%s\" (d, wsdd or tns)\n",
			     qPrintable(parser.value(styleOption)));
		return 2;
	}
	const uint discoveryPort = parser.value(discoveryPortOption).toUInt(&ok);
	if (!ok || discoveryPort > 65535) {
		std::fprintf(stderr, "kavren-camera-sim: invalid discovery port \"%s\"\n",
			     qPrintable(parser.value(discoveryPortOption)));
		return 2;
	}

	// Cameras beyond the given addresses continue from the last one; beyond the given models, the fleet mixes
	// the identification families.
	QList<SimFleet::Camera> cameras = SimFleet::consecutive(count, addresses.first(), models);
	for (int i = 0; i < cameras.size(); ++i) {
		if (i < addresses.size())
			cameras[i].address = addresses.at(i);
		else if (i > 0)
			cameras[i].address = QHostAddress(cameras.at(i - 1).address.toIPv4Address() + 1);
		if (!cameras.at(i).address.isLoopback()) {
			std::fprintf(stderr, "kavren-camera-sim: the fleet runs past 127.255.255.255\n");
			return 2;
		}
		if (i < names.size())
			cameras[i].name = names.at(i);
		if (parser.isSet(styleOption) || count == 1)
			cameras[i].discoveryStyle = style;
	}

	CameraSimulator::Options options;
	options.address = cameras.first().address;
	options.name = cameras.first().name;
	options.discoveryStyle = cameras.first().discoveryStyle;
	options.discoveryPort = quint16(discoveryPort);
	const uint port = parser.value(portOption).toUInt(&ok);
	if (!ok || port > 65535) {
		std::fprintf(stderr, "kavren-camera-sim: invalid port \"%s\"\n", qPrintable(parser.value(portOption)));
		return 2;
	}
	options.port = quint16(port);
	options.model = cameras.first().model;
	options.log = parser.isSet(logOption);
	// Nothing in this program reads what the cameras received (--log prints it as it comes), so none of it is
	// kept: a camera flooded for hours stays the size it started.
	options.receivedLimit = 0;
	if (!readDialect(parser.value(dialectOption), parser.values(quirkOption), options))
		return 2;
	if ((parser.isSet(dialectOption) || parser.isSet(quirkOption)) && count > 1) {
		std::fprintf(stderr, "kavren-camera-sim: --dialect and --quirk describe one camera, not a fleet\n");
		return 2;
	}
	if (!parser.isSet(portOption) && options.carriage != SimViscaEndpoint::Carriage::Header)
		options.port = options.carriage == SimViscaEndpoint::Carriage::Tcp ? 5678 : 1259;
	if (parser.isSet(moveOption)) {
		options.moveMsPerUnit = parser.value(moveOption).toDouble(&ok);
		if (!ok || options.moveMsPerUnit < 0 || options.moveMsPerUnit > 1000) {
			std::fprintf(stderr, "kavren-camera-sim: invalid move time \"%s\" (0 to 1000 ms per unit)\n",
				     qPrintable(parser.value(moveOption)));
			return 2;
		}
	}
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

	for (const SimFleet::Camera &camera : cameras) {
		if (options.carriage == SimViscaEndpoint::Carriage::Header &&
		    cameraAnswersAt(camera.address, options.port)) {
			std::fprintf(stderr,
				     "kavren-camera-sim: a camera already answers at %s:%u (another simulator?)\n",
				     qPrintable(camera.address.toString()), unsigned(options.port));
			return 1;
		}
	}

	std::unique_ptr<CameraSimulator> single;
	std::unique_ptr<SimFleet> fleet;
	QList<const CameraSimulator *> running;
	QString error;
	if (count == 1) {
		single = std::make_unique<CameraSimulator>(options);
		if (!single->start(&error)) {
			std::fprintf(stderr, "kavren-camera-sim: %s\n", qPrintable(error));
			return 1;
		}
		running.append(single.get());
	} else {
		SimFleet::Options fleetOptions;
		fleetOptions.cameras = cameras;
		fleetOptions.port = options.port;
		fleetOptions.discoveryPort = options.discoveryPort;
		fleetOptions.log = options.log;
		fleetOptions.moveMsPerUnit = options.moveMsPerUnit;
		fleetOptions.receivedLimit = options.receivedLimit;
		fleet = std::make_unique<SimFleet>(fleetOptions);
		if (!fleet->start(&error)) {
			std::fprintf(stderr, "kavren-camera-sim: %s\n", qPrintable(error));
			return 1;
		}
		for (int i = 0; i < fleet->size(); ++i)
			running.append(&fleet->camera(i));
	}
	for (const CameraSimulator *simulator : running) {
		const SimModel model = simulator->model();
		std::fprintf(stderr, "kavren-camera-sim: %s (code %s) listening on %s:%u\n", qPrintable(model.name),
			     model.idCode.isEmpty() ? "none" : qPrintable(model.idCode),
			     qPrintable(simulator->address().toString()), unsigned(simulator->port()));
		std::fprintf(stderr, "kavren-camera-sim: %s answers discovery on port %u as \"%s\"\n",
			     qPrintable(simulator->address().toString()), unsigned(simulator->discoveryPort()),
			     qPrintable(simulator->announcedName()));
	}
	std::fflush(stderr);

	if (duration > 0)
		QTimer::singleShot(int(duration * 1000), &app, &QCoreApplication::quit);
	const int rc = app.exec();
	if (single)
		single->stop();
	if (fleet)
		fleet->stop();
	::close(signalPipe[0]);
	::close(signalPipe[1]);
	return rc;
}
