#include <QtTest>

#include "CapturedLog.h"
#include "HeldWorker.h"
#include "MainDialogTestSupport.h"
#include "TableRows.h"
#include "control/CameraInUse.h"
#include "integrations/Controller.h"
#include "settings/SettingsStorage.h"
#include "ui/GamepadAxisBar.h"
#include "ui/GamepadDialog.h"
#include "ui/GamepadInputRows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QSpinBox>

#include <SDL.h>

using namespace MainDialogTest;

namespace {

using Mapping = GamepadMapping;

// A settings file as the operator may leave it (null: none); the mapping the gamepad then uses, the defaults as
// `edit` changes them; the settings its one log line names as not used (empty: no line).
struct StoredRow {
	const char *name;
	const char *file;
	void (*edit)(Mapping &mapping);
	const char *rejected;
};
const StoredRow kStoredRows[] = {
	{"no file", nullptr, nullptr, ""},
	{"no JSON", "GamepadDeadZone = 30\n", nullptr, ""},
	{"a partial file keeps the defaults of the rest",
	 R"({"GamepadDeadZone": 30, "GamepadAxes": {"focus": {"axis": 4, "invert": true}}})",
	 [](Mapping &m) {
		 m.deadZonePercent = 30;
		 m.axes[int(Mapping::Role::Focus)] = {4, true};
	 },
	 ""},
	{"an axis given without invert is not inverted", R"({"GamepadAxes": {"zoom": {"axis": 3}}})",
	 [](Mapping &m) { m.axes[int(Mapping::Role::Zoom)].invert = false; }, ""},
	{"a table given replaces the whole table", R"({"GamepadButtons": {"4": "home"}, "GamepadHat": {}})",
	 [](Mapping &m) {
		 m.buttons = {{4, {OperatorAction::Home, 0}}};
		 m.hat.clear();
	 },
	 ""},
	{"the edges are taken",
	 R"({"GamepadAxes": {"pan": {"axis": -1}, "tilt": {"axis": 255, "invert": false}}, "GamepadDeadZone": 90,)"
	 R"("GamepadButtons": {"0": "storePreset 19", "255": "selectCamera 8"}, "GamepadHat": {"right": "callPreset 1"}})",
	 [](Mapping &m) {
		 m.axes[int(Mapping::Role::Pan)] = {-1, false};
		 m.axes[int(Mapping::Role::Tilt)] = {255, false};
		 m.deadZonePercent = 90;
		 m.buttons = {{0, {OperatorAction::StorePreset, 19}}, {255, {OperatorAction::SelectCamera, 8}}};
		 m.hat = {{int(Mapping::HatDirection::Right), {OperatorAction::CallPreset, 1}}};
	 },
	 ""},
	{"wrong types",
	 R"({"GamepadAxes": {"pan": {"axis": "2"}, "tilt": {"axis": 1, "invert": "yes"}, "zoom": 3},)"
	 R"("GamepadDeadZone": "30", "GamepadButtons": ["home"], "GamepadHat": "up"})",
	 nullptr, "GamepadAxes.pan, GamepadAxes.tilt, GamepadAxes.zoom, GamepadDeadZone, GamepadButtons, GamepadHat"},
	{"axes that are no table", R"({"GamepadAxes": [0, 1]})", nullptr, "GamepadAxes"},
	{"out of range",
	 R"({"GamepadAxes": {"pan": {"axis": 256}, "tilt": {"axis": -2}, "zoom": {"axis": 1.5}}, "GamepadDeadZone": -1,)"
	 R"("GamepadButtons": {"256": "home", "-1": "home", "x": "home", "1e1": "home"}})",
	 [](Mapping &m) { m.buttons.clear(); },
	 R"(GamepadAxes.pan, GamepadAxes.tilt, GamepadAxes.zoom, GamepadDeadZone, GamepadButtons."-1", )"
	 R"(GamepadButtons."1e1", GamepadButtons."256", GamepadButtons."x")"},
	{"unknown actions",
	 R"({"GamepadButtons": {"0": "jump", "1": "callPreset 20", "2": "callPreset", "3": "home 1", "4": 5, "5": "home"},)"
	 R"("GamepadHat": {"up": "Home", "north": "home", "down": "selectCamera 9", "left": "nextCamera"}})",
	 [](Mapping &m) {
		 m.buttons = {{5, {OperatorAction::Home, 0}}};
		 m.hat = {{int(Mapping::HatDirection::Left), {OperatorAction::NextCamera, 0}}};
	 },
	 R"(GamepadButtons."0", GamepadButtons."1", GamepadButtons."2", GamepadButtons."3", GamepadButtons."4", )"
	 R"(GamepadHat."down", GamepadHat."north", GamepadHat."up")"},
};

// What the camera shows of a held input: its pan/tilt motion, its zoom or focus drive, the memory it recalled.
using Seen = int (*)(const SimCameraState &state);
const Seen motion = [](const SimCameraState &s) { return int(s.motion); };
const Seen zoomDrive = [](const SimCameraState &s) { return int(s.zoomDrive); };
const Seen focusDrive = [](const SimCameraState &s) { return int(s.focusDrive); };
const Seen recalled = [](const SimCameraState &s) { return s.lastRecalledPreset; };

// A button (or, at -1, a hat direction) bound to an action; what the camera shows while it is held and once it
// is let go.
struct HeldRow {
	const char *name;
	int button;
	GamepadMapping::HatDirection hat;
	GamepadMapping::ActionBinding binding;
	Seen seen;
	int held, released;
};
using Hat = GamepadMapping::HatDirection;
constexpr int kTele = int(SimCameraState::Drive::Tele), kStill = int(SimCameraState::Drive::Stop);
constexpr int kUp = int(SimCameraState::Motion::Up), kStop = int(SimCameraState::Motion::Stop);
const HeldRow kHeldRows[] = {
	{"a button holds a zoom", 2, {}, {OperatorAction::ZoomIn, 0}, zoomDrive, kTele, kStill},
	{"a hat direction holds a tilt", -1, Hat::Up, {OperatorAction::TiltUp, 0}, motion, kUp, kStop},
	{"a hat direction holds a focus", -1, Hat::Left, {OperatorAction::FocusFar, 0}, focusDrive, kTele, kStill},
	{"a button calls a preset", 1, {}, {OperatorAction::CallPreset, 7}, recalled, 7, 7},
};

} // namespace

// A gamepad played through SDL's virtual joysticks drives the simulated camera in use through a window-less
// controller: speeds that follow the stick, its dead zone, moves spaced by the injected clock, the stop behind no
// stale move, the stop of the camera the operator turns away from, buttons and hat held and let go, and the
// mapping read from whatever the settings file holds.
class tst_Gamepad : public QObject {
	Q_OBJECT

	SettingsHome home;
	std::unique_ptr<CameraSimulator> camera, second;
	std::unique_ptr<Controller> controller;
	qint64 clockMs = 0;
	int pad = -1;
	QString restingStop; // a stop at the link's own speeds, which a move at speeds of its own leaves as they were

	// A game controller (`product` tells alike ones apart by GUID), or with `raw` a joystick without a mapping.
	static int attach(Uint16 product, bool raw = false, int axes = SDL_CONTROLLER_AXIS_MAX, int buttons = 15,
			  int hats = 0)
	{
		SDL_VirtualJoystickDesc desc{};
		desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
		desc.type = raw ? SDL_JOYSTICK_TYPE_UNKNOWN : SDL_JOYSTICK_TYPE_GAMECONTROLLER;
		desc.naxes = Uint16(axes);
		desc.nbuttons = Uint16(buttons);
		desc.nhats = Uint16(hats);
		desc.vendor_id = raw ? 0 : 0x1209;
		desc.product_id = raw ? 0 : product;
		desc.name = raw ? "Raw pad" : "Stick";
		return SDL_JoystickAttachVirtualEx(&desc);
	}
	static QString guidOf(int index)
	{
		char guid[33] = {};
		SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, int(sizeof(guid)));
		return QString::fromLatin1(guid);
	}
	// A virtual device of one test, held open so that the test can play it, and unplugged when the test ends.
	struct Plugged {
		SDL_Joystick *joystick;
		QString guid;
		explicit Plugged(int index) : joystick(SDL_JoystickOpen(index)), guid(guidOf(index)) {}
		~Plugged()
		{
			const SDL_JoystickID id = SDL_JoystickInstanceID(joystick);
			SDL_JoystickClose(joystick);
			for (int index = 0; index < SDL_NumJoysticks(); ++index)
				if (SDL_JoystickGetDeviceInstanceID(index) == id)
					SDL_JoystickDetachVirtual(index);
		}
	};
	static QStringList items(const QComboBox *box)
	{
		QStringList texts;
		for (int index = 0; index < box->count(); ++index)
			texts << box->itemText(index);
		return texts;
	}
	// Chooses a device that was just plugged in; whether it drives.
	// A device's entry in the dialog's list: its GUID and which of the identical ones it is.
	static QVariant listed(const QString &guid, int number = 1)
	{
		return QStringList{guid, QString::number(number)};
	}

	bool chooseDevice(const QString &guid)
	{
		controller->gamepad()->poll();
		controller->gamepad()->choose(guid);
		const auto active = controller->gamepad()->activeDevice();
		return active && active->guid == guid;
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
		return readPad(wait);
	}
	bool readPad(bool wait = true)
	{
		controller->gamepad()->poll();
		CameraWorker *worker = controller->cameraInUse()->worker();
		return !wait || QTest::qWaitFor([worker] { return worker->isIdle(); }, 10000);
	}

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		QVERIFY(loadWindowLocale());
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
		camera = startCamera("127.0.0.81", "NX-B93K");
		QVERIFY(camera);
		second = startCamera("127.0.0.82", "NX-B93K");
		QVERIFY(second);
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.81")},
						{QStringLiteral("Camera2IP"), QStringLiteral("127.0.0.82")},
						{QStringLiteral("Camera2NickName"), QStringLiteral("Stage")}});
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
		QSignalSpy found(controller.get(), &Controller::gamepadConnectionChanged);
		controller->gamepad()->choose(guidOf(pad));
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
		const Plugged raw(attach(0, true, 6, 4));
		SDL_Joystick *held = raw.joystick;
		QVERIFY(held);
		const int zoomAxis = controller->gamepad()->mapping().axes[int(GamepadMapping::Role::Zoom)].axis;
		SDL_JoystickSetVirtualAxis(held, zoomAxis, -32768);
		SDL_JoystickUpdate();
		QVERIFY(clearWhenQuiet(*camera));
		controller->gamepad()->choose(raw.guid);
		QVERIFY(stick(0, 0, 100));
		QVERIFY(stick(0, 0, 100));
		QCOMPARE(receivedBeforeMarker(*camera), 0);
		SDL_JoystickSetVirtualAxis(held, zoomAxis, 32767);
		QVERIFY(stick(0, 0, 100));
		SDL_JoystickSetVirtualAxis(held, zoomAxis, -32768);
		QVERIFY(stick(0, 0, 100));
		QCOMPARE(distinctCommands(*camera), (QStringList{"8101040737ff", "8101040700ff"}));
	}

	// The one path of buttons and hat: the controller's actions on the camera in use, a move held as long as its
	// input is.
	void heldInputActsUntilReleased_data() { addTableRows(kHeldRows); }
	void heldInputActsUntilReleased()
	{
		const HeldRow &row = currentTableRow(kHeldRows);
		const Plugged raw(attach(0, true, 2, 4, 1));
		QVERIFY(chooseDevice(raw.guid));
		const GamepadMapping before = controller->gamepad()->mapping();
		const auto restore = qScopeGuard([this, before] { controller->gamepad()->setMapping(before); });
		GamepadMapping mapping = before;
		(row.button < 0 ? mapping.hat[int(row.hat)] : mapping.buttons[row.button]) = row.binding;
		controller->gamepad()->setMapping(mapping);
		const auto hold = [this, &row, &raw](bool held) {
			if (row.button < 0)
				SDL_JoystickSetVirtualHat(raw.joystick, 0,
							  held ? Uint8(1 << int(row.hat)) : SDL_HAT_CENTERED);
			else
				SDL_JoystickSetVirtualButton(raw.joystick, row.button, held);
			return readPad();
		};
		QVERIFY(hold(true));
		QCOMPARE(row.seen(camera->state()), row.held);
		QVERIFY(hold(false));
		QCOMPARE(row.seen(camera->state()), row.released);
	}

	// The mapping the gamepad takes from the settings file at start, whatever the operator left there; what it
	// cannot use is named in one line, and what the gamepad stores of a mapping reads back as it was.
	void mappingFromTheSettingsFile_data() { addTableRows(kStoredRows); }
	void mappingFromTheSettingsFile()
	{
		const StoredRow &row = currentTableRow(kStoredRows);
		const QTemporaryDir folder;
		if (row.file)
			writeContent(SettingsStorage::filePath(folder.path()), row.file);
		GamepadMapping expected = GamepadMapping::defaults();
		if (row.edit)
			row.edit(expected);
		const auto written = [](const GamepadMapping &mapping) {
			QJsonObject settings;
			mapping.store(settings);
			return settings;
		};
		const auto shown = [&written](const GamepadMapping &mapping) {
			return QJsonDocument(written(mapping)).toJson();
		};
		CapturedLog::clear();
		CapturedLog::install();
		const GamepadMapping read = GamepadMapping::stored(SettingsFile::read(folder.path()));
		CapturedLog::uninstall();
		const QString prefix =
			QStringLiteral("Gamepad settings that cannot be used were read as their defaults: ");
		const QStringList said = CapturedLog::take(QtWarningMsg).filter(prefix);
		QCOMPARE(said, *row.rejected ? QStringList{prefix + QLatin1String(row.rejected)} : QStringList{});
		QCOMPARE(shown(read), shown(expected));
		QCOMPARE(shown(GamepadMapping::stored(written(expected))), shown(expected));
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

	// The dialog speaks the picked device's layout: a game controller's named axes and buttons (its d-pad is
	// buttons, it has no hat), a raw joystick's numbered ones and its hat; with no device, the standard layout.
	void dialogShowsWhatTheDeviceHas()
	{
		const QStringList standard = QStringLiteral("—,Left stick X,Left stick Y,Right stick X,Right stick Y,"
							    "Left trigger,Right trigger")
						     .split(QLatin1Char(','));
		// Device (none, a game controller, a raw joystick), its axes, its rows: how many, the first, the last.
		const std::tuple<int, QStringList, QStringList> cases[] = {
			{0, standard, {"21", "A", "Touchpad press"}},
			{1, standard, {"15", "A", "D-pad right"}},
			{2, {"—", "Axis 0", "Axis 1", "Axis 2"}, {"8", "Hat up", "Button 3"}}};
		for (const auto &[device, axes, rows] : cases) {
			Plugged plugged(device == 2 ? attach(0, true, 3, 4, 1) : attach(3));
			controller->gamepad()->poll();
			GamepadDialog dialog(controller->gamepad());
			auto *devices = namedChild<QComboBox>(&dialog, "GamepadDevice");
			devices->setCurrentIndex(devices->findData(listed(device ? plugged.guid : QString())));
			QCOMPARE(items(namedChild<QComboBox>(&dialog, "GamepadTiltAxis")), axes);
			QStringList names;
			for (const QLabel *label : dialog.findChild<GamepadInputRows *>()->findChildren<QLabel *>())
				names << label->text();
			QCOMPARE((QStringList{QString::number(names.size()), names.first(), names.last()}), rows);
		}
	}

	// The bars show the axis as it drives: from its rest, the dead zone round it, mirrored when inverted.
	void axisBarShowsTheRestAndTheDeadZone()
	{
		const GamepadAxisBar::Range stick, rawTrigger{-32768, -32767, 32767}, padTrigger{0, 0, 32767};
		// A reading; where its rest, its value and the dead zone's edges are drawn, in percent of the bar.
		const std::pair<GamepadAxisBar::Reading, QList<int>> cases[] = {
			{{stick, 0, 20, false}, {50, 50, 40, 60}},
			{{stick, 32767, 20, true}, {50, 0, 40, 60}},
			{{rawTrigger, 0, 10, false}, {0, 50, 0, 10}},
			{{rawTrigger, 0, 10, true}, {100, 50, 90, 100}},
			{{padTrigger, 32767, 20, false}, {0, 100, 0, 20}}};
		const auto percent = [](double fraction) { return qRound(fraction * 100); };
		GamepadAxisBar bar;
		for (const auto &[reading, percents] : cases) {
			bar.setReading(reading);
			QCOMPARE((QList<int>{percent(bar.restAt()), percent(bar.valueAt()),
					     percent(bar.deadZone().first), percent(bar.deadZone().second)}),
				 percents);
		}
	}

	// The active device is shown live: its held button's row lit, its stick in the bar of its role, inverted
	// with it; armed, the next press takes the action to its row.
	void dialogFollowsTheActiveDevice()
	{
		Plugged plugged(attach(4));
		QVERIFY(chooseDevice(plugged.guid));
		GamepadDialog dialog(controller->gamepad());
		auto *rows = dialog.findChild<GamepadInputRows *>();
		SDL_JoystickSetVirtualButton(plugged.joystick, SDL_CONTROLLER_BUTTON_A, 1);
		SDL_JoystickSetVirtualAxis(plugged.joystick, SDL_CONTROLLER_AXIS_LEFTX, 32767);
		controller->gamepad()->poll();
		QVERIFY(rows->isLit({false, SDL_CONTROLLER_BUTTON_A}));
		auto *panBar = namedChild<GamepadAxisBar>(&dialog, "GamepadPanBar");
		QCOMPARE(panBar->valueAt(), 1.0);
		namedChild<QCheckBox>(&dialog, "GamepadPanInvert")->setChecked(true);
		QCOMPARE(panBar->valueAt(), 0.0);
		auto *action = namedChild<QComboBox>(&dialog, "GamepadAssignedAction");
		action->setCurrentIndex(action->findData(QStringLiteral("home")));
		namedChild<QPushButton>(&dialog, "GamepadAssign")->click();
		SDL_JoystickSetVirtualButton(plugged.joystick, SDL_CONTROLLER_BUTTON_A, 0);
		SDL_JoystickSetVirtualButton(plugged.joystick, SDL_CONTROLLER_BUTTON_DPAD_UP, 1);
		controller->gamepad()->poll();
		QVERIFY(!rows->isLit({false, SDL_CONTROLLER_BUTTON_A}));
		GamepadMapping expected = controller->gamepad()->mapping();
		expected.axes[int(GamepadMapping::Role::Pan)].invert = true;
		expected.buttons[SDL_CONTROLLER_BUTTON_DPAD_UP] = {OperatorAction::Home, 0};
		dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Apply)->click();
		QVERIFY(controller->gamepad()->mapping() == expected);
	}

	// Roles sharing an axis are allowed and said; cameras are listed by their caption, in groups of actions.
	void dialogWarnsAndNamesCameras()
	{
		GamepadDialog dialog(controller->gamepad());
		auto *tilt = namedChild<QComboBox>(&dialog, "GamepadTiltAxis");
		tilt->setCurrentIndex(namedChild<QComboBox>(&dialog, "GamepadPanAxis")->currentIndex());
		auto *warning = namedChild<QLabel>(&dialog, "GamepadSharedAxes");
		QVERIFY2(!warning->isHidden() &&
				 warning->text().startsWith(QStringLiteral("Pan and Tilt both follow ")),
			 qPrintable(warning->text()));
		tilt->setCurrentIndex(0);
		QVERIFY(warning->isHidden());
		const QStringList actions = items(namedChild<QComboBox>(&dialog, "GamepadAssignedAction"));
		QVERIFY(actions.contains(QStringLiteral("Camera: “Stage” (slot 2)")));
		QCOMPARE(actions.count(QString()), 4); // the separators of motion, cameras, presets and speeds
		QCOMPARE(actions.at(actions.indexOf(QStringLiteral("Camera 1")) - 1), QString());
	}

	// Two alike devices are told apart; one unplugged is named by the name it had, or by its GUID when it never
	// had one.
	void dialogNamesDevices()
	{
		const auto shown = [this] {
			const GamepadDialog dialog(controller->gamepad());
			return items(namedChild<QComboBox>(&dialog, "GamepadDevice"));
		};
		GamepadDialog open(controller->gamepad());
		auto *picked = namedChild<QComboBox>(&open, "GamepadDevice");
		{
			Plugged first(attach(5)), second(attach(5)), raw(attach(0, true, 2, 2));
			QVERIFY(chooseDevice(first.guid));
			QVERIFY(shown().contains(QStringLiteral("Stick #1")) &&
				shown().contains(QStringLiteral("Stick #2")));
			// The second of two identical pads can be the one that drives.
			picked->setCurrentIndex(picked->findData(listed(second.guid, 2)));
			open.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Apply)->click();
			QCOMPARE(controller->gamepad()->activeDevice()->number, 2);
			QTRY_COMPARE(SettingsFile::read().value(QLatin1String(GamepadMapping::kNumberKey)).toInt(), 2);
			picked->setCurrentIndex(picked->findData(listed(raw.guid)));
		}
		controller->gamepad()->poll();
		QCOMPARE(picked->currentText(), QStringLiteral("Raw pad (not connected)"));
		QVERIFY(shown().contains(QStringLiteral("Stick (not connected)")));
		QTRY_COMPARE(SettingsFile::read().value(QLatin1String(GamepadMapping::kNameKey)).toString(),
			     QStringLiteral("Stick"));
		controller->gamepad()->choose(QStringLiteral("0300abcd"));
		QVERIFY(shown().contains(QStringLiteral("Gamepad not connected (GUID 0300abcd)")));
	}

	// Closing with changes not applied asks; the answer applies, drops or keeps them.
	void closingAsksAboutChanges()
	{
		int answer = 0;
		ModalBox::setAnswerer([&answer](QMessageBox &box) { box.done(std::exchange(answer, -2)); });
		const auto restore = qScopeGuard([] { ModalBox::setAnswerer(nullptr); });
		// Closed by the window's X (else Close or Escape), answered (-1: unchanged), stored, still open.
		const std::tuple<bool, int, bool, bool> cases[] = {{false, QMessageBox::Cancel, false, true},
								   {true, QMessageBox::Discard, false, false},
								   {false, QMessageBox::Apply, true, false},
								   {true, -1, false, false}};
		for (const auto &[byWindow, given, stored, open] : cases) {
			answer = given;
			GamepadDialog dialog(controller->gamepad());
			dialog.show();
			const int before = controller->gamepad()->mapping().deadZonePercent;
			const int changed = given < 0 ? before : before == 40 ? 41 : 40;
			namedChild<QSpinBox>(&dialog, "GamepadDeadZone")->setValue(changed);
			byWindow ? void(dialog.close()) : dialog.reject();
			QCoreApplication::processEvents();
			QCOMPARE(answer, given < 0 ? -1 : -2); // asked only about a change
			QCOMPARE(dialog.isVisible(), open);
			QCOMPARE(controller->gamepad()->mapping().deadZonePercent, stored ? changed : before);
		}
	}

	void cleanupTestCase()
	{
		controller.reset();
		verifyEveryLookedUpKeyIsInTheLocale();
	}
};

QTEST_MAIN(tst_Gamepad)
#include "tst_Gamepad.moc"
