// Time from a stick change to its datagram at the camera, beside the bare loopback round trip to the same camera.
//
// stick:  a virtual joystick's axis is moved (SDL_JoystickSetVirtualAxis), the controller's gamepad input reads it
//         (one poll, as its timer does), and the clock stops when the simulated camera has the move datagram: SDL,
//         the mapping to speeds, the camera in use, the worker's queue and the link's send, one way.
// raw:    a plain QUdpSocket's power inquiry to the same camera and its answer (a round trip).
//
// The stick alternates between two positions, each a new move; the clock of the move spacing is stepped by hand
// so that every change is sent.
//
// Then, with the camera's real pause after each command (the camera keeps up with one command a tenth of a second
// or so, the stick changes far more often), what a producer feels on letting go:
// centre:  the stick changes every 2 ms for 2 s, then is centred: the time until the camera has the stop, and how
//          many moves reached the camera after the stop was asked for (goal: within one pause and one exchange, 0).
// flick:   full deflection for 100 ms, then let go: the same two figures.
// switch:  the stick held on camera 1, camera 2 chosen: the time until camera 1 has its stop, and whether camera 2
//          moved before the stick moved again (goal: no).
// Sends only to 127.0.0.x; every loop is bounded.

#include "BenchSupport.h"
#include "ReceivedCommands.h"
#include "SettingsHome.h"
#include "control/CameraInUse.h"
#include "integrations/Controller.h"
#include "integrations/OperatorAction.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QLoggingCategory>

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int kRuns = 300;
constexpr int kWarmUp = 20;
constexpr int kTimeoutMs = 1000;

int attachStick()
{
	SDL_VirtualJoystickDesc desc{};
	desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
	desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
	desc.naxes = SDL_CONTROLLER_AXIS_MAX;
	desc.nbuttons = 15;
	desc.name = "Bench stick";
	return SDL_JoystickAttachVirtualEx(&desc);
}

std::optional<double> stickToDatagramUs(Controller &controller, SDL_Joystick *stick, CameraSimulator &sim, int x)
{
	sim.clearReceived();
	QElapsedTimer clock;
	clock.start();
	SDL_JoystickSetVirtualAxis(stick, SDL_CONTROLLER_AXIS_LEFTX, Sint16(x));
	controller.gamepad()->poll();
	while (commandPayloads(sim, QStringLiteral("81010601")).isEmpty()) {
		if (clock.elapsed() > kTimeoutMs)
			return std::nullopt;
		QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
	}
	return clock.nsecsElapsed() / 1000.0;
}

// A stick on the camera in use with the real command pause; times on the steady clock.
struct Scenario {
	Controller &controller;
	SDL_Joystick *stick;
	QElapsedTimer clock;

	void set(int x)
	{
		SDL_JoystickSetVirtualAxis(stick, SDL_CONTROLLER_AXIS_LEFTX, Sint16(x));
		controller.gamepad()->poll();
	}
	// Runs the event loop for `ms`, polling the stick every 2 ms as its timer would (at most every 8 ms).
	void hold(int ms)
	{
		QElapsedTimer held;
		held.start();
		while (held.elapsed() < ms) {
			controller.gamepad()->poll();
			QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
		}
	}
};

bool isStop(const QString &payload)
{
	return payload.startsWith(QStringLiteral("81010601")) && payload.endsWith(QStringLiteral("0303ff"));
}

// After `asked`: how long until `sim` has the pan/tilt stop (-1: not within a second), and how many moves it got
// after the stop was asked for and before the stop came.
std::pair<double, int> stopAfter(Scenario &s, CameraSimulator &sim, int receivedBefore)
{
	QElapsedTimer since;
	since.start();
	while (since.elapsed() < kTimeoutMs) {
		const QStringList all = commandPayloads(sim, QStringLiteral("81010601"));
		const QStringList after = all.mid(receivedBefore);
		const int stopAt = int(std::find_if(after.begin(), after.end(), isStop) - after.begin());
		if (stopAt < after.size())
			return {since.nsecsElapsed() / 1e6, stopAt};
		s.controller.gamepad()->poll();
		QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
	}
	return {-1.0, 0};
}

void reportStops(const char *what, const std::vector<std::pair<double, int>> &runs)
{
	std::vector<double> times;
	int late = 0;
	for (const auto &[ms, moves] : runs) {
		times.push_back(ms);
		late += moves;
	}
	std::sort(times.begin(), times.end());
	std::printf("%s: stop after %.0f ms median, %.0f ms at most; moves after letting go: %d in %zu runs\n", what,
		    bench::medianOf(times), times.empty() ? 0.0 : times.back(), late, runs.size());
}

void letGoScenarios(Controller &controller, SDL_Joystick *stick, CameraSimulator &first, CameraSimulator &second)
{
	Scenario s{controller, stick, {}};
	s.clock.start();
	std::vector<std::pair<double, int>> centred, flicked, switched;
	int secondMoved = 0;
	for (int run = 0; run < 5; ++run) {
		s.set(0);
		s.hold(300);
		// Changes every 2 ms for 2 s.
		QElapsedTimer changing;
		changing.start();
		for (int step = 0; changing.elapsed() < 2000; ++step) {
			s.set(step % 2 ? 32767 : 16000);
			s.hold(2);
		}
		int before = int(commandPayloads(first, QStringLiteral("81010601")).size());
		s.set(0);
		centred.push_back(stopAfter(s, first, before));
		s.hold(300);
		// A flick: full for 100 ms, then let go.
		s.set(32767);
		s.hold(100);
		before = int(commandPayloads(first, QStringLiteral("81010601")).size());
		s.set(0);
		flicked.push_back(stopAfter(s, first, before));
		s.hold(300);
		// Held on camera 1, camera 2 chosen.
		s.set(-32768);
		s.hold(300);
		second.clearReceived();
		before = int(commandPayloads(first, QStringLiteral("81010601")).size());
		controller.act(OperatorAction::SelectCamera, true, 2);
		switched.push_back(stopAfter(s, first, before));
		QElapsedTimer connecting;
		connecting.start();
		while (controller.cameraInUse()->slot() != 2 && connecting.elapsed() < 10000)
			s.hold(10);
		s.hold(300);
		secondMoved += commandPayloads(second, QStringLiteral("81010601")).isEmpty() ? 0 : 1;
		s.set(0);
		controller.act(OperatorAction::SelectCamera, true, 1);
		connecting.restart();
		while (controller.cameraInUse()->slot() != 1 && connecting.elapsed() < 10000)
			s.hold(10);
		s.hold(300);
	}
	reportStops("centred after 2 s of changes", centred);
	reportStops("flick of 100 ms", flicked);
	reportStops("camera 2 chosen while held, camera 1", switched);
	std::printf("camera 2 moved before the stick moved again: %d of %zu runs\n", secondMoved, switched.size());
	std::printf("command pause: %d ms\n", CameraWorker::Options().commandPauseMs);
}

} // namespace

int main(int argc, char **argv)
{
	QCoreApplication app(argc, argv);
	QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
	SettingsHome home;
	if (!home.setUp())
		return 1;
	qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
	const auto camera = startSimulatedCamera(QStringLiteral("127.0.0.41"), QStringLiteral("NX-B93K"), 52381);
	if (!camera)
		return 1;
	SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.41")}});

	qint64 stepMs = 0;
	Controller::Options options;
	options.relay.listenAddress = QHostAddress::LocalHost;
	options.relay.tcpPort = 0;
	options.relay.udpAddress = QHostAddress::LocalHost;
	options.relay.udpPort = 0;
	options.cameras.commandPauseMs = 0;
	options.gamepad.clock = [&stepMs] { return stepMs; };
	Controller controller(options);
	controller.cameraInUse()->choose(1);
	QElapsedTimer connecting;
	connecting.start();
	while (!controller.cameraInUse()->isConnected() && connecting.elapsed() < 10000)
		QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
	const int pad = attachStick();
	if (!controller.gamepad()->available() || pad < 0 || !controller.cameraInUse()->isConnected()) {
		std::fprintf(stderr, "no gamepad input or no camera in use\n");
		return 1;
	}
	char guid[33] = {};
	SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(pad), guid, int(sizeof(guid)));
	controller.gamepad()->choose(QString::fromLatin1(guid));
	SDL_Joystick *stick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(pad));

	QUdpSocket raw;
	raw.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
	std::vector<double> stickSamples;
	std::vector<double> rawSamples;
	int failures = 0;
	for (int run = 0; run < kWarmUp + kRuns && failures < 10; ++run) {
		stepMs += 1000;
		const std::optional<double> stickUs =
			stickToDatagramUs(controller, stick, *camera, run % 2 ? 32767 : -32768);
		const std::optional<double> rawUs = bench::rawRoundTripUs(raw, camera->address(), camera->port());
		if (!stickUs || !rawUs)
			++failures;
		else if (run >= kWarmUp) {
			stickSamples.push_back(*stickUs);
			rawSamples.push_back(*rawUs);
		}
	}
	const double stickMedian = bench::medianOf(stickSamples);
	const double rawMedian = bench::medianOf(rawSamples);
	std::printf("stick to datagram median: %.1f us\n", stickMedian);
	std::printf("raw round trip median: %.1f us\n", rawMedian);
	std::printf("stick/raw ratio: %.2f\n", rawMedian > 0.0 ? stickMedian / rawMedian : 0.0);
	if (failures > 0)
		std::printf("note: %d runs without a datagram or a raw answer\n", failures);
	SDL_JoystickDetachVirtual(pad);
	controller.shutdown();

	// The same with the camera's real pause, and a second camera to turn to.
	const auto second = startSimulatedCamera(QStringLiteral("127.0.0.42"), QStringLiteral("NX-B93K"), 52381);
	if (!second)
		return 1;
	SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.41")},
					{QStringLiteral("Camera2IP"), QStringLiteral("127.0.0.42")},
					{QStringLiteral("GamepadGUID"), QString::fromLatin1(guid)}});
	options.cameras = CameraWorker::Options();
	options.gamepad.clock = nullptr;
	Controller paced(options);
	paced.cameraInUse()->choose(1);
	connecting.restart();
	while (!paced.cameraInUse()->isConnected() && connecting.elapsed() < 10000)
		QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
	const int pacedPad = attachStick();
	paced.gamepad()->poll();
	if (!paced.cameraInUse()->isConnected() || pacedPad < 0 || !paced.gamepad()->activeDevice()) {
		std::fprintf(stderr, "no gamepad input or no camera in use with the real pause\n");
		return 1;
	}
	letGoScenarios(paced, SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(pacedPad)), *camera, *second);
	SDL_JoystickDetachVirtual(pacedPad);
	paced.shutdown();
	camera->stop();
	return 0;
}
