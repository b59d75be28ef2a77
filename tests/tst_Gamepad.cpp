#include <QtTest>

#include "CapturedLog.h"
#include "HeldWorker.h"
#include "MainDialogTestSupport.h"
#include "control/CameraInUse.h"
#include "integrations/Controller.h"

#include <SDL.h>

using namespace MainDialogTest;

// A gamepad played through SDL's virtual joysticks drives the simulated camera in use through a window-less
// controller: speeds that follow the stick, its dead zone, moves spaced by the injected clock, the stop behind no
// stale move, and the stop of the camera the operator turns away from.
class tst_Gamepad : public QObject {
	Q_OBJECT

	SettingsHome home;
	std::unique_ptr<CameraSimulator> camera, second;
	std::unique_ptr<Controller> controller;
	qint64 clockMs = 0;
	int pad = -1;
	QString restingStop; // a stop at the link's own speeds, which a move at speeds of its own leaves as they were

	static int attach(Uint16 product)
	{
		SDL_VirtualJoystickDesc desc{};
		desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
		desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
		desc.naxes = SDL_CONTROLLER_AXIS_MAX;
		desc.nbuttons = 15;
		desc.vendor_id = 0x1209; // with a product, the GUID tells the devices apart
		desc.product_id = product;
		desc.name = "Stick";
		return SDL_JoystickAttachVirtualEx(&desc);
	}
	// The camera's pan/tilt commands, a stop at the link's own speeds as "stop".
	QStringList drives() const
	{
		QStringList commands = distinctCommands(*camera);
		std::replace(commands.begin(), commands.end(), restingStop, QStringLiteral("stop"));
		return commands;
	}
	// The stick at (x, y), read once at the current time; true when the camera took everything it was given.
	bool stick(int x, int y, int stepMs = 0, bool wait = true)
	{
		clockMs += stepMs;
		SDL_Joystick *joystick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(pad));
		SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, Sint16(x));
		SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTY, Sint16(y));
		controller->gamepad()->poll();
		CameraWorker *worker = controller->cameraInUse()->worker();
		return !wait || QTest::qWaitFor([worker] { return worker->isIdle(); }, 10000);
	}

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
		camera = startCamera("127.0.0.81", "NX-B93K");
		QVERIFY(camera);
		second = startCamera("127.0.0.82", "NX-B93K");
		QVERIFY(second);
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.81")},
						{QStringLiteral("Camera2IP"), QStringLiteral("127.0.0.82")}});
		const QString nonsense = home.path() + QStringLiteral("/nonsense-mappings.txt");
		writeContent(nonsense, "this is no mapping\n\x01\x02,,,,\n");
		useLoopbackRelay();
		Controller::Options options = ControlledWindowSupport::options();
		options.cameras.commandPauseMs = 0;
		options.gamepad.clock = [this] { return clockMs; };
		options.gamepad.mappingFile = nonsense;
		CapturedLog::install();
		controller = std::make_unique<Controller>(options);
		QVERIFY2(controller->gamepad()->available(), qPrintable(controller->gamepad()->unavailableReason()));
		QTRY_COMPARE(CapturedLog::lines(QtWarningMsg).filter(QStringLiteral("nonsense-mappings")).size(), 1);
		CapturedLog::uninstall();
		QCOMPARE(controller->cameraInUse()->choose(1), CameraInUse::Start::Started);
		QTRY_VERIFY_WITH_TIMEOUT(controller->cameraInUse()->isConnected(), 10000);

		pad = attach(1);
		QVERIFY(pad >= 0);
		char guid[33] = {};
		SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(pad), guid, int(sizeof(guid)));
		QSignalSpy found(controller.get(), &Controller::gamepadConnectionChanged);
		controller->gamepad()->choose(QString::fromLatin1(guid));
		QTRY_COMPARE(found.count(), 1);
		QVERIFY(clearWhenQuiet(*camera));
		QVERIFY(controller->cameraInUse()->drive(CameraCommands::motorStop(), 0, CameraCaller{}));
		QTRY_COMPARE(commandPayloads(*camera).size(), 1);
		restingStop = commandPayloads(*camera).first();
	}

	void stickDrivesAtItsSpeed_data()
	{
		QTest::addColumn<int>("x");
		QTest::addColumn<int>("y");
		QTest::addColumn<QStringList>("sent");
		const QString stop = QStringLiteral("stop");
		// Pan speeds 01..18, tilt 01..14; the default dead zone is 15 %.
		QTest::newRow("full right") << 32767 << 0 << QStringList{"8101060118010203ff", stop};
		QTest::newRow("half right") << 19084 << 0 << QStringList{"810106010d010203ff", stop};
		QTest::newRow("full up") << 0 << -32768 << QStringList{"8101060101140301ff", stop};
		QTest::newRow("down-left") << -32768 << 32767 << QStringList{"8101060118140102ff", stop};
		QTest::newRow("inside the dead zone") << 4000 << -4000 << QStringList{};
	}

	void stickDrivesAtItsSpeed()
	{
		QFETCH(int, x);
		QFETCH(int, y);
		QFETCH(QStringList, sent);
		camera->clearReceived();
		QVERIFY(stick(x, y, 100));
		QVERIFY(stick(0, 0));
		QCOMPARE(drives(), sent);
	}

	void movesAreSpacedAtFiftyHertz()
	{
		camera->clearReceived();
		// A second of a stick that changes every 5 ms among three positions: one move every 20 ms, each the
		// stick's latest position, then the stop at once.
		const int positions[3][2] = {{32767, 0}, {-32768, 0}, {0, -32768}};
		for (int step = 0; step < 200; ++step)
			QVERIFY(stick(positions[step % 3][0], positions[step % 3][1], step ? 5 : 20));
		QVERIFY(stick(0, 0));
		const QStringList commands = drives();
		QCOMPARE(commands.size(), 51);
		QCOMPARE(commands.indexOf(QStringLiteral("stop")), 50);
	}

	// The zoom stick drives at a speed of its own too: full up zooms in at the model's top speed, then the stop.
	void zoomStickDrivesAtItsSpeed()
	{
		camera->clearReceived();
		SDL_Joystick *joystick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(pad));
		SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_RIGHTY, -32768);
		QVERIFY(stick(0, 0, 100));
		SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_RIGHTY, 0);
		QVERIFY(stick(0, 0));
		QCOMPARE(distinctCommands(*camera), (QStringList{"8101040727ff", "8101040700ff"}));
	}

	// A camera busy with earlier work gets the stick's latest word: centred, the stop comes next, after no stale
	// move.
	void aCentredStickStopsBehindNoStaleMove()
	{
		CameraWorker *worker = controller->cameraInUse()->worker();
		HeldWorker busy(*worker);
		QVERIFY(busy.held());
		camera->clearReceived();
		for (int step = 0; step < 20; ++step)
			QVERIFY(stick(step % 2 ? 32767 : -32768, 0, 20, false));
		QVERIFY(stick(0, 0, 20, false));
		QCOMPARE(worker->pendingJobNames(), QList<QByteArray>{"setMotorStop"});
		busy.release();
		QVERIFY(stick(0, 0));
		QCOMPARE(drives(), QStringList{QStringLiteral("stop")});
	}

	// Turning to another camera while the stick is held stops the camera left at once; the held stick moves the
	// new camera when it moves again.
	void turningAwayStopsTheCameraLeft()
	{
		QVERIFY(stick(32767, 0, 100));
		QTRY_COMPARE(camera->state().motion, SimCameraState::Motion::Right);
		QVERIFY(controller->act(OperatorAction::SelectCamera, true, 2));
		QTRY_COMPARE(camera->state().motion, SimCameraState::Motion::Stop);
		QTRY_VERIFY_WITH_TIMEOUT(
			controller->cameraInUse()->slot() == 2 && controller->cameraInUse()->isConnected(), 10000);
		QVERIFY(clearWhenQuiet(*second));
		QVERIFY(stick(32767, 0, 100));
		QCOMPARE(receivedBeforeMarker(*second), 0);
		QVERIFY(stick(-32768, 0, 100));
		QTRY_COMPARE(second->state().motion, SimCameraState::Motion::Left);
		QVERIFY(stick(0, 0));
		QTRY_COMPARE(second->state().motion, SimCameraState::Motion::Stop);
		QVERIFY(controller->act(OperatorAction::SelectCamera, true, 1));
		QTRY_VERIFY_WITH_TIMEOUT(
			controller->cameraInUse()->slot() == 1 && controller->cameraInUse()->isConnected(), 10000);
	}

	void unpluggedDeviceStopsWhatItMoved()
	{
		// Another device's stick drives nothing; the chosen one, unplugged while it pans, stops the camera.
		const int other = attach(2);
		QVERIFY(other >= 0);
		SDL_Joystick *stranger = SDL_JoystickOpen(other);
		SDL_JoystickSetVirtualAxis(stranger, SDL_CONTROLLER_AXIS_LEFTX, 32767);
		camera->clearReceived();
		QVERIFY(stick(0, 32767, 100));
		QSignalSpy lost(controller.get(), &Controller::gamepadConnectionChanged);
		QVERIFY(SDL_JoystickDetachVirtual(pad) == 0);
		controller->gamepad()->poll();
		QCOMPARE(lost.count(), 1);
		QCOMPARE(lost.first().at(1).toBool(), false);
		QTRY_COMPARE(drives(), (QStringList{"8101060101140302ff", "stop"}));
		SDL_JoystickClose(stranger);
	}

	// A raw joystick reports a trigger as a whole axis resting at one end: bound to zoom, it is still at rest and
	// zooms only as it is pressed.
	void aTriggerAtRestDrivesNothing()
	{
		SDL_VirtualJoystickDesc desc{};
		desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
		desc.type = SDL_JOYSTICK_TYPE_UNKNOWN;
		desc.naxes = 6;
		desc.nbuttons = 4;
		desc.name = "Raw pad";
		const int raw = SDL_JoystickAttachVirtualEx(&desc);
		QVERIFY(raw >= 0);
		SDL_Joystick *held = SDL_JoystickOpen(raw);
		const int zoomAxis = controller->gamepad()->mapping().axes[int(GamepadMapping::Role::Zoom)].axis;
		SDL_JoystickSetVirtualAxis(held, zoomAxis, -32768);
		SDL_JoystickUpdate();
		char guid[33] = {};
		SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(raw), guid, int(sizeof(guid)));
		QVERIFY(clearWhenQuiet(*camera));
		controller->gamepad()->choose(QString::fromLatin1(guid));
		QVERIFY(stick(0, 0, 100));
		QVERIFY(stick(0, 0, 100));
		QCOMPARE(receivedBeforeMarker(*camera), 0);
		SDL_JoystickSetVirtualAxis(held, zoomAxis, 32767);
		QVERIFY(stick(0, 0, 100));
		SDL_JoystickSetVirtualAxis(held, zoomAxis, -32768);
		QVERIFY(stick(0, 0, 100));
		QCOMPARE(distinctCommands(*camera), (QStringList{"8101040737ff", "8101040700ff"}));
		SDL_JoystickClose(held);
	}

	// A mappings file longer than SDL can take in without holding OBS's start is read in part, on a thread of its
	// own, and the log says what was skipped.
	void longMappingsFileIsReadInPart()
	{
		const auto guid = [](int n) {
			return QStringLiteral("05000000%1000000000000000000").arg(n, 6, 16, QLatin1Char('0'));
		};
		QByteArray lines;
		for (int n = 0; n <= GamepadInput::kMaxMappings; ++n)
			lines += guid(n).toLatin1() + ",Pad " + QByteArray::number(n) + ",a:b0,b:b1,platform:Linux,\n";
		GamepadInput::Options options;
		options.mappingFile = home.path() + QStringLiteral("/long-mappings.txt");
		writeContent(options.mappingFile, lines);
		CapturedLog::install();
		GamepadInput reader(controller.get(), options);
		QTRY_COMPARE(CapturedLog::lines(QtWarningMsg)
				     .filter(QStringLiteral("1 mappings and 0 bytes after them are skipped"))
				     .size(),
			     1);
		CapturedLog::uninstall();
		const auto known = [&guid](int n) {
			char *mapping =
				SDL_GameControllerMappingForGUID(SDL_JoystickGetGUIDFromString(qPrintable(guid(n))));
			SDL_free(mapping);
			return mapping != nullptr;
		};
		QVERIFY(known(GamepadInput::kMaxMappings - 1));
		QVERIFY(!known(GamepadInput::kMaxMappings));
	}

	void cleanupTestCase() { controller.reset(); }
};

QTEST_MAIN(tst_Gamepad)
#include "tst_Gamepad.moc"
