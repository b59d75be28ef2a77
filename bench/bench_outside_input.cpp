// What a file or a client from outside costs the product, each beside the ordinary case measured in the same run:
//
// pictures: GetPresets for a slot whose preset picture is a 256 MB file, against the same request with a picture
//           of ours: the time and the growth of the peak memory (the file is refused unread, so both stay small).
// secret:   1,000 handshakes with a wrong secret from one loopback address, against the first five (free) tries:
//           how many were answered "wait" (HTTP 429) and how long each took; then the right secret at once
//           (still told to wait).
// mappings: the controller made with a gamepad mappings file of 20,000 lines, against one without a file: the
//           time the UI thread spends, and when the log says the mappings are in.
//
// Usage: bench_outside_input [pictures|secret|mappings] (all three when none is named).
// Sends only to 127.0.0.1; every loop is bounded.

#include "BenchSupport.h"
#include "RelayTestClient.h"
#include "SettingsHome.h"
#include "control/CameraPool.h"
#include "integrations/CameraRequests.h"
#include "integrations/Controller.h"
#include "integrations/PresetPictures.h"
#include "relay/ViscaTransfer.h"
#include "settings/SettingsFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLoggingCategory>
#include <QTest>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

long peakKb()
{
	std::ifstream status("/proc/self/status");
	std::string line;
	while (std::getline(status, line))
		if (line.rfind("VmHWM:", 0) == 0)
			return std::stol(line.substr(6));
	return 0;
}

struct Request {
	double ms = 0;
	long grewKb = 0;
	bool thumbnail = false;
};

Request getPresets(CameraRequests &requests)
{
	const long before = peakKb();
	QElapsedTimer clock;
	clock.start();
	const auto answer = requests.handle("GetPresets", {{"slot", 1}});
	return {clock.nsecsElapsed() / 1e6, peakKb() - before, answer["presets"][0].contains("thumbnail")};
}

void pictures()
{
	SettingsFile::update([](QJsonObject &settings) {
		settings[SettingsFile::sourceKey(1)] = QStringLiteral("Cam");
		return true;
	});
	const QString file = PresetPictures::path(1, 1, Utils::getAppDataPath());
	QDir().mkpath(QFileInfo(file).absolutePath());
	QImage ours(160, 90, QImage::Format_RGB32);
	ours.fill(Qt::darkGreen);
	ours.save(file);
	CameraPool pool(CameraWorker::Options{});
	CameraRequests requests(&pool);
	const Request ordinary = getPresets(requests);

	// A PNG's signature, then 256 MB of nothing: a file that starts like a picture and is none of ours.
	QFile big(file);
	if (!big.open(QIODevice::WriteOnly) || big.write("\x89PNG\r\n\x1a\n") != 8 || !big.resize(qint64(256) << 20))
		return;
	big.close();
	const Request huge = getPresets(requests);
	QFile::remove(file);
	std::printf("pictures: GetPresets with a picture of ours %.2f ms (thumbnail %s), with a 256 MB file %.2f ms "
		    "(thumbnail %s); time ratio %.1f, peak memory grew %ld KiB against %ld KiB\n",
		    ordinary.ms, ordinary.thumbnail ? "handed out" : "missing", huge.ms,
		    huge.thumbnail ? "handed out" : "refused", ordinary.ms > 0 ? huge.ms / ordinary.ms : 0.0,
		    huge.grewKb, ordinary.grewKb);
}

void secret()
{
	ViscaTransfer::Options options;
	options.listenAddress = QHostAddress::LocalHost;
	options.tcpPort = 0;
	options.udpAddress = QHostAddress::LocalHost;
	options.udpPort = 0;
	options.secret = QStringLiteral("open sesame");
	ViscaTransfer relay(options);
	relay.start();
	if (!relay.isServing())
		return;
	const auto tryWith = [&relay](const char *secret) {
		RelayTestClient client;
		client.authorization = std::string("Bearer ") + secret;
		client.connect(relay.tcpPort());
		return client.httpStatus();
	};
	QElapsedTimer clock;
	clock.start();
	int freeRefused = 0;
	for (int n = 0; n < options.secretGuard.freeTries; ++n)
		freeRefused += tryWith("wrong") == 401;
	const double freeMs = clock.nsecsElapsed() / 1e6 / options.secretGuard.freeTries;
	constexpr int kGuesses = 1000;
	int refused = 0, waiting = 0, guesses = 0;
	clock.restart();
	for (; guesses < kGuesses && clock.elapsed() < 60000; ++guesses) {
		const int status = tryWith("wrong");
		refused += status == 401;
		waiting += status == 429;
	}
	const double guessMs = clock.nsecsElapsed() / 1e6 / std::max(1, guesses);
	const int right = tryWith("open sesame");
	relay.stop();
	std::printf(
		"secret: %d free wrong tries answered 401 (%.2f ms each); %d more: %d answered 401, %d answered 429 "
		"(%.2f ms each, ratio %.2f); the right secret right after: HTTP %d\n",
		freeRefused, freeMs, guesses, refused, waiting, guessMs, freeMs > 0 ? guessMs / freeMs : 0.0, right);
}

std::atomic<bool> mappingsIn{false};
QtMessageHandler previousHandler = nullptr;

void watchForMappings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
	if (message.contains(QLatin1String("gamepad mappings")))
		mappingsIn = true;
	if (type != QtDebugMsg && type != QtInfoMsg && previousHandler)
		previousHandler(type, context, message);
}

struct Start {
	double uiMs = 0;
	double mappingsMs = 0;
};

// The controller made and taken down again; with `waitForMappings`, not before the log says the mappings are in.
Start startController(const QString &mappingFile, bool waitForMappings)
{
	mappingsIn = false;
	Controller::Options options;
	options.relay.listenAddress = QHostAddress::LocalHost;
	options.relay.tcpPort = 0;
	options.relay.udpAddress = QHostAddress::LocalHost;
	options.relay.udpPort = 0;
	options.gamepad.mappingFile = mappingFile;
	QElapsedTimer clock;
	clock.start();
	Controller controller(options);
	Start start{clock.nsecsElapsed() / 1e6, -1};
	if (waitForMappings && QTest::qWaitFor([] { return mappingsIn.load(); }, 120000))
		start.mappingsMs = clock.nsecsElapsed() / 1e6;
	controller.shutdown();
	return start;
}

void mappings(const QString &folder)
{
	constexpr int kLines = 20000;
	const QString file = folder + QStringLiteral("/mappings.txt");
	QFile out(file);
	if (!out.open(QIODevice::WriteOnly))
		return;
	for (int n = 0; n < kLines; ++n)
		out.write(QStringLiteral("05000000%1000000000000000000,Pad %2,a:b0,b:b1,platform:Linux,\n")
				  .arg(n, 6, 16, QLatin1Char('0'))
				  .arg(n)
				  .toLatin1());
	out.close();
	previousHandler = qInstallMessageHandler(watchForMappings);
	const Start without = startController(folder + QStringLiteral("/none.txt"), false);
	const Start with = startController(file, true);
	qInstallMessageHandler(previousHandler);
	std::printf("mappings: the controller took %.1f ms of the UI thread with a %d-line mappings file, %.1f ms "
		    "without one (ratio %.2f); the mappings were in after %.1f ms\n",
		    with.uiMs, kLines, without.uiMs, without.uiMs > 0 ? with.uiMs / without.uiMs : 0.0,
		    with.mappingsMs);
}

} // namespace

int main(int argc, char *argv[])
{
	QApplication app(argc, argv);
	const QString only = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
	// The refusals' own lines are what the tests look at; the figures are what counts here.
	// The gamepad's lines tell when the mappings are in.
	QLoggingCategory::setFilterRules(QStringLiteral("kavren.*.debug=false\nkavren.*.info=false\n"
							"kavren.*.warning=false\nkavren.gamepad.info=true\n"
							"kavren.gamepad.warning=true"));
	SettingsHome home;
	if (!home.setUp())
		return 1;
	if (only.isEmpty() || only == QLatin1String("pictures"))
		pictures();
	if (only.isEmpty() || only == QLatin1String("secret"))
		secret();
	if (only.isEmpty() || only == QLatin1String("mappings"))
		mappings(home.path());
	return 0;
}
