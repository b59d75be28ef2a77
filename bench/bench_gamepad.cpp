// Time from a stick change to its datagram at the camera, beside the bare loopback round trip to the same camera.
//
// stick:  a virtual joystick's axis is moved (SDL_JoystickSetVirtualAxis), the controller's gamepad input reads it
//         (one poll, as its timer does), and the clock stops when the simulated camera has the move datagram: SDL,
//         the mapping to speeds, the camera in use, the worker's queue and the link's send, one way.
// raw:    a plain QUdpSocket's power inquiry to the same camera and its answer (a round trip).
//
// The stick alternates between two positions, each a new move; the clock of the move spacing is stepped by hand
// so that every change is sent. Sends only to 127.0.0.x; every loop is bounded.

#include "BenchSupport.h"
#include "ReceivedCommands.h"
#include "SettingsHome.h"
#include "control/CameraInUse.h"
#include "integrations/Controller.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QLoggingCategory>

#include <SDL.h>

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
	camera->stop();
	return 0;
}
