// The controller window's camera controls against simulated cameras: the direction pad, zoom and focus, presets,
// speeds and the preset speed list, and the exposure, white balance and image panel with its scenes.

#include "MainDialogTestSupport.h"
#include "TableRows.h"

#include "ui/KVPlusMinusButton.h"
#include "ui/MainDialog.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>

#include <map>

using namespace MainDialogTest;

namespace {

// One camera per kind; "custom" is an NX-B93K whose profile is replaced by a sparse one (see customProfile).
struct CameraKind {
	const char *name;
	const char *address;
	const char *model;
	int slot;
};
const CameraKind kCameras[] = {
	{"b93", "127.0.0.66", "NX-B93K", 1},
	{"f64", "127.0.0.67", "NX-F64", 2},
	{"w38", "127.0.0.68", "NX-W38B", 3},
	{"custom", "127.0.0.69", "NX-B93K", 4},
};

const CameraKind &cameraKind(const QString &name)
{
	for (const CameraKind &kind : kCameras)
		if (name == QLatin1String(kind.name))
			return kind;
	qFatal("unknown camera kind");
}

const QString kShippedProfiles = QStringLiteral(KAVREN_SOURCE_DIR "/data/ini/");

// A model with three preset speeds, one iris stop, two gains and two shutter steps: most scene names miss.
void customProfile(QJsonObject &profile)
{
	QJsonObject memory = profile.value(QStringLiteral("cam_memory")).toObject();
	memory[QStringLiteral("list")] = profileList({{"5_DegSec", "01"}, {"50_DegSec", "08"}, {"300_DegSec", "18"}});
	profile[QStringLiteral("cam_memory")] = memory;
	profile[QStringLiteral("cam_iris")] = QJsonObject{{QStringLiteral("list"), profileList({{"F3", "15"}})}};
	profile[QStringLiteral("cam_gain")] =
		QJsonObject{{QStringLiteral("list"), profileList({{"0dB", "00"}, {"24dB", "18"}})}};
	profile[QStringLiteral("cam_shutter")] =
		QJsonObject{{QStringLiteral("list"), profileList({{"1_60", "06"}, {"1_180", "0A"}})}};
}

QString hexByte(int value)
{
	return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0'));
}

using Motion = SimCameraState::Motion;
using Drive = SimCameraState::Drive;

struct PadRow {
	const char *name, *button;
	Motion motion; // Stop: the home button
};
const PadRow kPadRows[] = {
	{"up left", "UpperLeftButton", Motion::UpLeft},
	{"up", "UpButton", Motion::Up},
	{"up right", "UpperRightButton", Motion::UpRight},
	{"left", "LefButton", Motion::Left},
	{"right", "RightButton", Motion::Right},
	{"down left", "LowerLeftButton", Motion::DownLeft},
	{"down", "DownButton", Motion::Down},
	{"down right", "LowerRightButton", Motion::DownRight},
	{"home", "HomeButton", Motion::Stop},
};

struct LensRow {
	const char *name, *button, *speedEdit, *slider;
	bool zoom;
	Drive drive; // focus: Tele is far, Wide near
};
const LensRow kLensRows[] = {
	{"zoom in", "ZoomPlusButton", "ZoomSpeedEdit", "ZoomSlider", true, Drive::Tele},
	{"zoom out", "ZoomMinusButton", "ZoomSpeedEdit", "ZoomSlider", true, Drive::Wide},
	{"focus near", "FocusPlusButton", "FocusSpeedEdit", "FocusSlider", false, Drive::Wide},
	{"focus far", "FocusMinusButton", "FocusSpeedEdit", "FocusSlider", false, Drive::Tele},
};

// A speed typed into its field, what the field then shows, and the move that carries it to the camera: one row a
// field. NX-B93K: pan 1..24, tilt 1..20, zoom 1..7, focus 1..7; the fields take digits only.
struct SpeedRow {
	const char *name, *edit, *typed, *shown, *key, *probe;
	int SimCameraState::*speed;
};
const SpeedRow kSpeedRows[] = {
	{"pan above maximum", "PanSpeedEdit", "99", "24", "PanSpeed", "UpButton", &SimCameraState::panSpeed},
	{"tilt empty", "TiltSpeedEdit", "", "1", "TiltSpeed", "UpButton", &SimCameraState::tiltSpeed},
	{"zoom point", "ZoomSpeedEdit", "0.4", "4", "ZoomSpeed", "ZoomPlusButton", &SimCameraState::zoomDriveSpeed},
	{"focus leading zero", "FocusSpeedEdit", "02", "2", "FocusSpeed", "FocusPlusButton",
	 &SimCameraState::focusDriveSpeed},
};

// Every value control of the panel changes its own setting on the camera, as the camera decodes it.
struct ValueRow {
	const char *name;
	int value;
	int SimCameraState::Picture::*field;
};
const ValueRow kValueRows[] = {
	{"ShutterSpeedButton", 0x11, &SimCameraState::Picture::shutter},
	{"IrisButton", 0x0a, &SimCameraState::Picture::iris},
	{"GainButton", 0x05, &SimCameraState::Picture::gain},
	{"RGainButton", 0x33, &SimCameraState::Picture::rGain},
	{"BGainButton", 0x44, &SimCameraState::Picture::bGain},
	{"SharpnessButton", 6, &SimCameraState::Picture::sharpness},
	{"HueButton", 9, &SimCameraState::Picture::hue},
	{"SaturationButton", 5, &SimCameraState::Picture::saturation},
	{"GammaButton", 2, &SimCameraState::Picture::gamma},
};

// What a scene button leaves on the camera: the name each field shows and the camera's code for it; no name where
// the model has none of the scene's candidates, and the camera keeps its value.
struct SceneRow {
	const char *name, *kind, *scene;
	const char *shutter;
	int shutterCode;
	const char *iris;
	int irisCode;
	const char *gain;
	int gainCode;
};
const SceneRow kSceneRows[] = {
	// The cinema head has every first choice.
	{"indoor, fine tables", "f64", "IndoorButton", "1/60", 0x08, "F3.2", 0x13, "24dB", 0x18},
	{"motion, fine tables", "f64", "MotionButton", "1/180", 0x0D, "F3.2", 0x13, "27dB", 0x1B},
	// A 50 Hz sensor: "1/60" is refused and the next candidate taken; it has no F2.
	{"indoor, 50 Hz", "w38", "IndoorButton", "1/50", 0x06, "F3.2", 0x0F, "24dB", 0x08},
	{"low light, no F2", "w38", "LowLightButton", "1/25", 0x05, "", 0, "33dB", 0x0B},
	{"back light, 50 Hz", "w38", "BackLightButton", "1/120", 0x09, "F4.5", 0x0C, "21dB", 0x07},
	// A sparse model: "F3" is the indoor name, "F3.0" the motion one.
	{"indoor, sparse", "custom", "IndoorButton", "1/60", 0x06, "F3", 0x15, "24dB", 0x18},
	{"low light, sparse", "custom", "LowLightButton", "", 0, "", 0, "", 0},
};

} // namespace

class tst_MainDialogPanel : public QObject {
	Q_OBJECT

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		QVERIFY(loadWindowLocale());
		qputenv("KAVREN_PROFILE_DIR", kShippedProfiles.toUtf8());
		installModalAnswerer();
		QVERIFY(customProfiles.isValid());
		QVERIFY(writeProfile(customProfiles.path(), QStringLiteral("NX-B93K"), QStringLiteral("NX-B93K"),
				     customProfile));
		for (const CameraKind &kind : kCameras)
			cameras[QString::fromLatin1(kind.name)] = startCamera(kind.address, kind.model);
	}

	void init()
	{
		QJsonObject settings;
		for (const CameraKind &kind : kCameras)
			settings[QStringLiteral("Camera%1IP").arg(kind.slot)] = QString::fromLatin1(kind.address);
		SettingsHome::write(settings);
		boxTexts().clear();
		for (auto &entry : cameras)
			clearWhenQuiet(*entry.second);
	}

	void cleanupTestCase()
	{
		dialogs.clear();
		ModalBox::setAnswerer(nullptr);
		verifyEveryLookedUpKeyIsInTheLocale();
	}

	void directionPad_data() { addTableRows(kPadRows); }
	void directionPad()
	{
		const PadRow &row = currentTableRow(kPadRows);
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		auto *pad = child<QPushButton>(dialog, QString::fromLatin1(row.button));
		const int homes = b93.state().homeCount;
		QTest::mousePress(pad, Qt::LeftButton);
		QVERIFY(cameraSettled(dialog));
		if (row.motion == Motion::Stop) {
			QTRY_COMPARE(b93.state().homeCount, homes + 1);
		} else {
			QTRY_COMPARE(b93.state().motion, row.motion);
			// At the speeds the fields show.
			QCOMPARE(b93.state().panSpeed,
				 child<QLineEdit>(dialog, QStringLiteral("PanSpeedEdit"))->text().toInt());
			QCOMPARE(b93.state().tiltSpeed,
				 child<QLineEdit>(dialog, QStringLiteral("TiltSpeedEdit"))->text().toInt());
		}
		clearWhenQuiet(b93);
		QTest::mouseRelease(pad, Qt::LeftButton);
		QVERIFY(cameraSettled(dialog));
		if (row.motion == Motion::Stop)
			QVERIFY(onlyMarkerArrives(dialog, b93));
		else
			QTRY_COMPARE(b93.state().motion, Motion::Stop);
	}

	void lensButtonsHoldAndRelease_data() { addTableRows(kLensRows); }
	void lensButtonsHoldAndRelease()
	{
		const LensRow &row = currentTableRow(kLensRows);
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		setManualFocus(dialog);
		clearWhenQuiet(b93);
		const auto drive = [&b93, &row]() { return row.zoom ? b93.state().zoomDrive : b93.state().focusDrive; };
		auto *hold = child<QPushButton>(dialog, QString::fromLatin1(row.button));
		QVERIFY(hold->isEnabled());
		QTest::mousePress(hold, Qt::LeftButton);
		QTRY_COMPARE(drive(), row.drive);
		QCOMPARE(row.zoom ? b93.state().zoomDriveSpeed : b93.state().focusDriveSpeed,
			 child<QLineEdit>(dialog, QString::fromLatin1(row.speedEdit))->text().toInt());
		QTest::mouseRelease(hold, Qt::LeftButton);
		QTRY_COMPARE(drive(), Drive::Stop);
		QVERIFY(cameraSettled(dialog));
		// The slider follows the camera's reported position without sending it back: no direct position came
		// before a marker sent after the worker went idle.
		QVERIFY(receivedBeforeMarker(b93) >= 0);
		QVERIFY(commandPayloads(b93, row.zoom ? QStringLiteral("81010447") : QStringLiteral("81010448"))
				.isEmpty());
		const SimCameraState state = b93.state();
		QCOMPARE(child<QSlider>(dialog, QString::fromLatin1(row.slider))->value(),
			 row.zoom ? state.picture.zoom : state.picture.focus);
	}

	void slidersSendDirectPositions_data()
	{
		QTest::addColumn<QString>("slider");
		QTest::addColumn<int>("position");
		QTest::newRow("zoom") << "ZoomSlider" << 0x2345;
		QTest::newRow("zoom wide end") << "ZoomSlider" << 0;
		QTest::newRow("focus") << "FocusSlider" << 0x3456;
	}

	void slidersSendDirectPositions()
	{
		QFETCH(QString, slider);
		QFETCH(int, position);
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		setManualFocus(dialog);
		auto *bar = child<QSlider>(dialog, slider);
		if (bar->value() == position) {
			const QSignalBlocker quiet(bar);
			bar->setValue(position + 1);
		}
		QVERIFY(cameraSettled(dialog));
		clearWhenQuiet(b93);
		bar->setValue(position);
		QVERIFY(cameraSettled(dialog));
		// One direct position, the zoom's at the zoom speed the field shows.
		QTRY_COMPARE(commandPayloads(b93).size(), 1);
		const SimCameraState state = b93.state();
		const bool zoom = slider == QLatin1String("ZoomSlider");
		QCOMPARE(zoom ? state.picture.zoom : state.picture.focus, position);
		if (zoom)
			QCOMPARE(state.zoomDirectSpeed,
				 child<QLineEdit>(dialog, QStringLiteral("ZoomSpeedEdit"))->text().toInt());
	}

	void autoFocusSwitch()
	{
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		auto *af = child<QPushButton>(dialog, QStringLiteral("AFButton"));
		auto *slider = child<QSlider>(dialog, QStringLiteral("FocusSlider"));
		const bool wasAuto = af->isChecked();
		QCOMPARE(wasAuto, b93.state().picture.autoFocus);
		for (bool autoFocus : {!wasAuto, wasAuto}) {
			QTest::mouseClick(af, Qt::LeftButton);
			QVERIFY(cameraSettled(dialog));
			QTRY_COMPARE(b93.state().picture.autoFocus, autoFocus);
			QCOMPARE(slider->isEnabled(), !autoFocus);
		}
	}

	void presetSelectionIsExclusive()
	{
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		const auto checked = [dialog]() {
			QList<int> list;
			for (int preset = 1; preset <= 9; ++preset)
				if (child<QPushButton>(dialog, QStringLiteral("Preset%1Button").arg(preset))
					    ->isChecked())
					list << preset;
			return list;
		};
		QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("Preset3Button")), Qt::LeftButton);
		QCOMPARE(checked(), QList<int>{3});
		QCOMPARE(dialog->calculatePresetIndex(), 3);
		QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("Preset5Button")), Qt::LeftButton);
		QCOMPARE(checked(), QList<int>{5});
		QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("TenButton")), Qt::LeftButton);
		QCOMPARE(dialog->calculatePresetIndex(), 15);
		QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("Preset5Button")), Qt::LeftButton);
		QCOMPARE(checked(), QList<int>{});
		QCOMPARE(dialog->calculatePresetIndex(), 10);
		QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("TenButton")), Qt::LeftButton);
		QCOMPARE(dialog->calculatePresetIndex(), 0);
		QVERIFY(onlyMarkerArrives(dialog, camera(QStringLiteral("b93"))));
	}

	void presetStore_data()
	{
		QTest::addColumn<bool>("ten");
		QTest::addColumn<int>("preset"); // 0: no preset button
		QTest::addColumn<int>("stored"); // 0: nothing sent

		QTest::newRow("3") << false << 3 << 3;
		QTest::newRow("10+ and 3") << true << 3 << 13;
		QTest::newRow("10+ alone") << true << 0 << 10;
		QTest::newRow("nothing selected") << false << 0 << 0;
	}

	void presetStore()
	{
		QFETCH(bool, ten);
		QFETCH(int, preset);
		QFETCH(int, stored);
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		QPushButton *tenButton = choosePreset(dialog, ten, preset);
		const int lastSaved = b93.state().lastSavedPreset;

		QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("StoreButton")), Qt::LeftButton);
		QVERIFY(cameraSettled(dialog));
		if (stored)
			QTRY_COMPARE(b93.state().lastSavedPreset, stored);
		else
			QVERIFY(onlyMarkerArrives(dialog, b93) && b93.state().lastSavedPreset == lastSaved);
		QVERIFY(!tenButton->isChecked());
		QCOMPARE(dialog->calculatePresetIndex(), 0);
	}

	void presetCall_data()
	{
		QTest::addColumn<bool>("ten");
		QTest::addColumn<int>("preset");
		QTest::addColumn<int>("recalled");

		QTest::newRow("10+ and 3") << true << 3 << 13;
		QTest::newRow("nothing selected") << false << 0 << 0;
	}

	void presetCall()
	{
		QFETCH(bool, ten);
		QFETCH(int, preset);
		QFETCH(int, recalled);
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		QPushButton *tenButton = choosePreset(dialog, ten, preset);
		// Something for the read-back to find: the camera's zoom moved behind the window's back.
		SimCameraState state = b93.state();
		state.picture.zoom = 0x1234;
		b93.setState(state);

		QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("CallButton")), Qt::LeftButton);
		// The call returns at once: "10+" is cleared, the lens and picture controls wait for the camera.
		QVERIFY(!tenButton->isChecked());
		QVERIFY(!child<QWidget>(dialog, QStringLiteral("ZoomWidget"))->isEnabled());
		QVERIFY(!child<QWidget>(dialog, QStringLiteral("ExposureBox"))->isEnabled());
		QVERIFY(cameraSettled(dialog));
		if (recalled)
			QTRY_COMPARE(b93.state().lastRecalledPreset, recalled);
		// Either way the controls were refreshed, and the selection clears a moment later.
		QVERIFY(!allPayloads(b93, QStringLiteral("81090447ff")).isEmpty());
		QVERIFY(child<QWidget>(dialog, QStringLiteral("ZoomWidget"))->isEnabled());
		QVERIFY(child<QWidget>(dialog, QStringLiteral("ExposureBox"))->isEnabled());
		if (!recalled)
			QCOMPARE(child<QSlider>(dialog, QStringLiteral("ZoomSlider"))->value(), 0x1234);
		QTRY_COMPARE(dialog->calculatePresetIndex(), 0);
		if (!recalled) {
			clearWhenQuiet(b93);
			QVERIFY(onlyMarkerArrives(dialog, b93));
		}
	}

	void speedCommit_data() { addTableRows(kSpeedRows); }
	void speedCommit()
	{
		const SpeedRow &row = currentTableRow(kSpeedRows);
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		auto *lineEdit = child<QLineEdit>(dialog, QString::fromLatin1(row.edit));
		typeSpeed(lineEdit, QString::fromLatin1(row.typed));
		QCOMPARE(lineEdit->text(), QString::fromLatin1(row.shown));
		QTRY_COMPARE(SettingsHome::read().value(QStringLiteral("127.0.0.66NX-B93K") + row.key).toString(),
			     QString::fromLatin1(row.shown));
		// Stored in the link, not sent.
		QVERIFY(cameraSettled(dialog));
		QVERIFY(onlyMarkerArrives(dialog, b93));

		// The next move carries it.
		setManualFocus(dialog);
		auto *probe = child<QPushButton>(dialog, QString::fromLatin1(row.probe));
		QTest::mousePress(probe, Qt::LeftButton);
		QTRY_COMPARE(b93.state().*row.speed, QString::fromLatin1(row.shown).toInt());
		QTest::mouseRelease(probe, Qt::LeftButton);
		QVERIFY(cameraSettled(dialog));
	}

	void speedsAtConnect_data()
	{
		QTest::addColumn<bool>("storedBefore");
		QTest::addColumn<QStringList>("speeds"); // pan, tilt, zoom, focus as shown after the connect
		QTest::addColumn<QString>("presetSpeed");
		QTest::addColumn<int>("presetSpeedCode");

		QTest::newRow("stored") << true << QStringList{"12", "20", "2", "6"} << QString::fromUtf8("50 °/s")
					<< 0x08;
		QTest::newRow("defaults")
			<< false << QStringList{"7", "7", "5", "3"} << QString::fromUtf8("160 °/s") << 0x14;
	}

	void speedsAtConnect()
	{
		QFETCH(bool, storedBefore);
		QFETCH(QStringList, speeds);
		QFETCH(QString, presetSpeed);
		QFETCH(int, presetSpeedCode);
		const QString prefix = QStringLiteral("127.0.0.66NX-B93K");
		const QStringList keys{QStringLiteral("PanSpeed"), QStringLiteral("TiltSpeed"),
				       QStringLiteral("ZoomSpeed"), QStringLiteral("FocusSpeed")};
		if (storedBefore) {
			QJsonObject settings = SettingsHome::read();
			// The tilt speed of 30 is above this model's 20 and is clamped when the window connects.
			const QStringList stored{QStringLiteral("12"), QStringLiteral("30"), QStringLiteral("2"),
						 QStringLiteral("6")};
			for (int i = 0; i < 4; ++i)
				settings[prefix + keys.at(i)] = stored.at(i);
			settings[prefix + QStringLiteral("PresetSpeed")] = presetSpeed;
			SettingsHome::write(settings);
		}
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		SimCameraState state = b93.state();
		state.presetSpeed = 0x18;
		b93.setState(state);
		clearWhenQuiet(b93);

		auto dialog = connectFresh(QStringLiteral("b93"));
		const QStringList edits{QStringLiteral("PanSpeedEdit"), QStringLiteral("TiltSpeedEdit"),
					QStringLiteral("ZoomSpeedEdit"), QStringLiteral("FocusSpeedEdit")};
		const QJsonObject settings = SettingsHome::read();
		for (int i = 0; i < 4; ++i) {
			QCOMPARE(child<QLineEdit>(dialog.get(), edits.at(i))->text(), speeds.at(i));
			QCOMPARE(settings.value(prefix + keys.at(i)).toString(), speeds.at(i));
		}
		QCOMPARE(child<QComboBox>(dialog.get(), QStringLiteral("PresetSpeedBox"))->currentText(), presetSpeed);
		QCOMPARE(settings.value(prefix + QStringLiteral("PresetSpeed")).toString(), presetSpeed);
		QCOMPARE(b93.state().presetSpeed, presetSpeedCode);

		// Reading the camera into the controls sent nothing back: the only command of the connect besides the
		// address set is the preset speed.
		QTRY_VERIFY(commandPayloads(b93).contains(QStringLiteral("81010620") + hexByte(presetSpeedCode) +
							  QStringLiteral("ff")));
		QStringList commands = commandPayloads(b93);
		commands.removeAll(QStringLiteral("883001ff"));
		QCOMPARE(sent(commands), sent(QStringList{QStringLiteral("81010620") + hexByte(presetSpeedCode) +
							  QStringLiteral("ff")}));

		QTest::mousePress(child<QPushButton>(dialog.get(), QStringLiteral("UpButton")), Qt::LeftButton);
		QTRY_COMPARE(b93.state().motion, Motion::Up);
		QCOMPARE(QStringList({QString::number(b93.state().panSpeed), QString::number(b93.state().tiltSpeed)}),
			 speeds.mid(0, 2));
		QTest::mouseRelease(child<QPushButton>(dialog.get(), QStringLiteral("UpButton")), Qt::LeftButton);
		QVERIFY(cameraSettled(dialog.get()));
	}

	void presetSpeedSelection()
	{
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		auto *box = child<QComboBox>(dialog, QStringLiteral("PresetSpeedBox"));

		select(box, QString::fromUtf8("25 °/s"));
		QVERIFY(cameraSettled(dialog));
		QTRY_COMPARE(b93.state().presetSpeed, 0x04);
		QCOMPARE(SettingsHome::read().value(QStringLiteral("127.0.0.66NX-B93KPresetSpeed")).toString(),
			 QString::fromUtf8("25 °/s"));
	}

	void presetSpeedListWithoutSixthEntry()
	{
		CameraSimulator &custom = camera(QStringLiteral("custom"));
		SimCameraState state = custom.state();
		state.presetSpeed = 0x18;
		custom.setState(state);
		auto dialog = connectFresh(QStringLiteral("custom"));
		QVERIFY(child<QPushButton>(dialog.get(), QStringLiteral("Camera4Button"))->isChecked());
		auto *box = child<QComboBox>(dialog.get(), QStringLiteral("PresetSpeedBox"));
		QCOMPARE(box->count(), 3);
		QCOMPARE(box->currentIndex(), -1);
		QVERIFY(cameraSettled(dialog.get()));
		QVERIFY(receivedBeforeMarker(custom) >= 0);
		QVERIFY(commandPayloads(custom, QStringLiteral("81010620")).isEmpty());
		QVERIFY(!SettingsHome::read().contains(QStringLiteral("127.0.0.69NX-B93KPresetSpeed")));
		QCOMPARE(custom.state().presetSpeed, 0x18);

		// The operator's own choice is sent as usual.
		box->setCurrentIndex(1);
		QTRY_COMPARE(custom.state().presetSpeed, 0x08);
		QVERIFY(boxTexts().isEmpty());
	}

	void modeGating_data()
	{
		QTest::addColumn<QString>("box");
		QTest::addColumn<QByteArray>("mode"); // locale key of the mode's name
		QTest::addColumn<QString>("command");
		// "<widget>[/<child>]=<0|1>": enabled state of a control (child: a button inside a plus/minus control).
		QTest::addColumn<QStringList>("enabled");
		QTest::addColumn<QStringList>("readBack"); // inquiries that must follow the mode command

		const QStringList exposureReads{"8109044aff", "8109044bff", "8109044cff"};
		QTest::newRow("exposure manual")
			<< QStringLiteral("ExposureModeBox") << QByteArray("Manual") << QStringLiteral("8101043903ff")
			<< QStringList{"ShutterSpeedButton=1", "IrisButton=1", "GainButton=1"} << exposureReads;
		QTest::newRow("exposure auto")
			<< QStringLiteral("ExposureModeBox") << QByteArray("Auto") << QStringLiteral("8101043900ff")
			<< QStringList{"ShutterSpeedButton=0", "IrisButton=0", "GainButton=0"} << exposureReads;
		QTest::newRow("white balance one push")
			<< QStringLiteral("AWBModeBox") << QByteArray("One_Push_WB") << QStringLiteral("8101043503ff")
			<< QStringList{"RGainButton/PlusButton=0", "BGainButton/MinusButton=0", "OnePushButton=1"}
			<< QStringList{};
		QTest::newRow("white balance manual")
			<< QStringLiteral("AWBModeBox") << QByteArray("Manual") << QStringLiteral("8101043505ff")
			<< QStringList{"RGainButton/PlusButton=1", "BGainButton/MinusButton=1", "OnePushButton=0"}
			<< QStringList{"81090443ff", "81090444ff"};
		QTest::newRow("white balance auto")
			<< QStringLiteral("AWBModeBox") << QByteArray("Auto") << QStringLiteral("8101043500ff")
			<< QStringList{"RGainButton/PlusButton=0", "BGainButton/PlusButton=0", "OnePushButton=0"}
			<< QStringList{};
		const QStringList imageReads{"81090442ff", "8109044fff", "81090449ff", "8109045bff"};
		QTest::newRow("image custom")
			<< QStringLiteral("ImageModeBox") << QByteArray("Custom") << QStringLiteral("8101043f0404ff")
			<< QStringList{"SharpnessButton/PlusButton=1", "SaturationButton/PlusButton=1",
				       "HueButton/MinusButton=1", "GammaButton/PlusButton=1"}
			<< imageReads;
		QTest::newRow("image standard")
			<< QStringLiteral("ImageModeBox") << QByteArray("Standard") << QStringLiteral("8101043f0400ff")
			<< QStringList{"SharpnessButton/PlusButton=1", "SaturationButton/PlusButton=0",
				       "HueButton/MinusButton=0", "GammaButton/PlusButton=0"}
			<< imageReads;
	}

	void modeGating()
	{
		QFETCH(QString, box);
		QFETCH(QByteArray, mode);
		QFETCH(QString, command);
		QFETCH(QStringList, enabled);
		QFETCH(QStringList, readBack);
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		// Gains the read-back can show.
		SimCameraState state = b93.state();
		state.picture.rGain = 0x42;
		b93.setState(state);

		select(child<QComboBox>(dialog, box), localeText(mode.constData()));
		QVERIFY(cameraSettled(dialog));
		QTRY_COMPARE(allPayloads(b93).size(), 1 + readBack.size());
		const QStringList all = allPayloads(b93);
		QCOMPARE(sent(commandPayloads(b93)), sent(QStringList{command}));
		QCOMPARE(all.first(), command);
		QCOMPARE(sent(all.mid(1)), sent(readBack));

		for (const QString &expectation : enabled) {
			const QString path = expectation.section(QLatin1Char('='), 0, 0);
			const bool on = expectation.section(QLatin1Char('='), 1) == QLatin1String("1");
			QWidget *widget = child<QWidget>(dialog, path.section(QLatin1Char('/'), 0, 0));
			if (path.contains(QLatin1Char('/')))
				widget = child<QWidget>(dialog, path.section(QLatin1Char('/'), 0, 0))
						 ->findChild<QWidget *>(path.section(QLatin1Char('/'), 1));
			QVERIFY2(widget, qPrintable(path));
			QVERIFY2(widget->isEnabled() == on, qPrintable(expectation));
		}
		if (box == QLatin1String("AWBModeBox") && mode == "Manual")
			QCOMPARE(
				child<QWidget>(dialog, QStringLiteral("RGainButton"))->findChild<QLineEdit *>()->text(),
				QStringLiteral("66"));
	}

	void valueControlsReachTheirSetting_data() { addTableRows(kValueRows); }
	void valueControlsReachTheirSetting()
	{
		const ValueRow &row = currentTableRow(kValueRows);
		MainDialog *dialog = connectedTo(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		QVERIFY(b93.state().picture.*row.field != row.value);
		emit child<KVPlusMinusButton>(dialog, QString::fromLatin1(row.name))->valueChanged(row.value);
		QVERIFY(cameraSettled(dialog));
		QTRY_COMPARE(b93.state().picture.*row.field, row.value);
	}

	void scenes_data() { addTableRows(kSceneRows); }

	void scenes()
	{
		const SceneRow &row = currentTableRow(kSceneRows);
		const QString kind = QString::fromLatin1(row.kind), scene = QString::fromLatin1(row.scene);
		MainDialog *dialog = connectedTo(kind);
		CameraSimulator &cam = camera(kind);
		auto *exposureMode = child<QComboBox>(dialog, QStringLiteral("ExposureModeBox"));
		select(exposureMode, localeText("Auto"));
		QVERIFY(cameraSettled(dialog));
		clearWhenQuiet(cam);
		const SimCameraState::Picture before = cam.state().picture;

		QTest::mouseClick(child<QPushButton>(dialog, scene), Qt::LeftButton);
		QVERIFY(cameraSettled(dialog));
		QTRY_COMPARE(cam.state().picture.aeMode, 0x03); // manual exposure
		QCOMPARE(exposureMode->currentText(), localeText("Manual"));
		QVERIFY(receivedBeforeMarker(cam) >= 0);
		const SimCameraState::Picture after = cam.state().picture;
		const std::tuple<const char *, const char *, int, int SimCameraState::Picture::*> fields[] = {
			{"ShutterSpeedButton", row.shutter, row.shutterCode, &SimCameraState::Picture::shutter},
			{"IrisButton", row.iris, row.irisCode, &SimCameraState::Picture::iris},
			{"GainButton", row.gain, row.gainCode, &SimCameraState::Picture::gain}};
		for (const auto &[control, name, code, field] : fields) {
			QCOMPARE(after.*field, *name ? code : before.*field);
			if (*name)
				QCOMPARE(child<QWidget>(dialog, QString::fromLatin1(control))
						 ->findChild<QLineEdit *>()
						 ->text(),
					 QString::fromUtf8(name));
		}

		// Pressed again while the box already shows manual exposure: no exposure-mode command this time.
		clearWhenQuiet(cam);
		QTest::mouseClick(child<QPushButton>(dialog, scene), Qt::LeftButton);
		QVERIFY(cameraSettled(dialog));
		QVERIFY(receivedBeforeMarker(cam) >= 0);
		QVERIFY(commandPayloads(cam, QStringLiteral("81010439")).isEmpty());
	}

	// A locale may word the modes otherwise than the window's own texts: the panel knows them by their codes.
	void modesAreKnownByTheirCodes()
	{
		const auto shippedWording = qScopeGuard([] { localeTable().install(); });
		viscaGeneralOps::setTextLookup([](const std::string &key) { return "~" + key; });
		const auto dialog = connectFresh(QStringLiteral("b93"));
		CameraSimulator &b93 = camera(QStringLiteral("b93"));
		const struct {
			const char *box, *mode, *opened, *part;
		} rows[] = {{"ExposureModeBox", "~Manual", "ShutterSpeedButton", nullptr},
			    {"AWBModeBox", "~One_Push_WB", "OnePushButton", nullptr},
			    {"ImageModeBox", "~Custom", "SaturationButton", "PlusButton"}};
		for (const auto &row : rows) {
			select(child<QComboBox>(dialog.get(), QString::fromLatin1(row.box)),
			       QString::fromLatin1(row.mode));
			QVERIFY(cameraSettled(dialog.get()));
			QWidget *opened = child<QWidget>(dialog.get(), QString::fromLatin1(row.opened));
			if (row.part)
				opened = opened->findChild<QWidget *>(QString::fromLatin1(row.part));
			QVERIFY2(opened && opened->isEnabled(), row.mode);
		}

		auto *exposure = child<QComboBox>(dialog.get(), QStringLiteral("ExposureModeBox"));
		select(exposure, QStringLiteral("~Auto"));
		QVERIFY(cameraSettled(dialog.get()));
		clearWhenQuiet(b93);
		QTest::mouseClick(child<QPushButton>(dialog.get(), QStringLiteral("IndoorButton")), Qt::LeftButton);
		QVERIFY(cameraSettled(dialog.get()));
		QTRY_VERIFY(!commandPayloads(b93).isEmpty());
		QCOMPARE(commandPayloads(b93).first(), QStringLiteral("8101043903ff"));
		QCOMPARE(exposure->currentText(), QStringLiteral("~Manual"));
	}

private:
	// "10+" and a preset button (0: none) chosen as the operator does before STORE or CALL; returns "10+".
	QPushButton *choosePreset(MainDialog *dialog, bool ten, int preset)
	{
		auto *tenButton = child<QPushButton>(dialog, QStringLiteral("TenButton"));
		if (ten)
			QTest::mouseClick(tenButton, Qt::LeftButton);
		if (preset)
			QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("Preset%1Button").arg(preset)),
					  Qt::LeftButton);
		return tenButton;
	}

	// A window connected to one kind of camera, kept for the whole run (its watchdog stays quiet).
	MainDialog *connectedTo(const QString &kind)
	{
		auto &dialog = dialogs[kind];
		if (!dialog)
			dialog = connectFresh(kind);
		if (!cameraSettled(dialog.get()))
			qWarning("the %s camera did not settle", qPrintable(kind));
		clearWhenQuiet(camera(kind));
		return dialog.get();
	}
	std::unique_ptr<MainDialog> connectFresh(const QString &kind)
	{
		const CameraKind &camera = cameraKind(kind);
		const bool custom = kind == QLatin1String("custom");
		if (custom)
			qputenv("KAVREN_PROFILE_DIR", customProfiles.path().toUtf8());
		auto dialog = std::make_unique<ControlledWindow>();
		dialog->show();
		// The advanced panel is in view, as when an operator uses it.
		child<QAction>(dialog.get(), QStringLiteral("AdvanceModeAction"))->trigger();
		auto *slotButton = child<QPushButton>(dialog.get(), QStringLiteral("Camera%1Button").arg(camera.slot));
		QTest::mouseClick(slotButton, Qt::LeftButton);
		if (!QTest::qWaitFor([&dialog]() { return dialog->connectingSlotNumber() == 0; }, 10000) ||
		    !cameraSettled(dialog.get()))
			qWarning("the %s camera did not settle", camera.name);
		qputenv("KAVREN_PROFILE_DIR", kShippedProfiles.toUtf8());
		if (!slotButton->isChecked())
			qWarning("could not connect to the %s camera", camera.name);
		return dialog;
	}
	CameraSimulator &camera(const QString &kind) { return *cameras.at(kind); }
	template <typename T>
	static T *child(MainDialog *dialog, const QString &name)
	{
		return namedChild<T>(dialog, name);
	}
	static void select(QComboBox *box, const QString &text)
	{
		const int index = box->findText(text);
		QVERIFY2(index >= 0, qPrintable(text));
		if (box->currentIndex() == index) {
			// Move away quietly, so the operator's choice below is a real change.
			const QSignalBlocker quiet(box);
			box->setCurrentIndex(index == 0 ? 1 : 0);
		}
		box->setCurrentIndex(index);
	}
	static void typeSpeed(QLineEdit *edit, const QString &text)
	{
		edit->clear();
		QTest::keyClicks(edit, text);
		QTest::keyClick(edit, Qt::Key_Return);
	}
	// Manual focus, so the focus buttons and slider can be used; waits until the camera has it.
	static void setManualFocus(MainDialog *dialog)
	{
		auto *af = child<QPushButton>(dialog, QStringLiteral("AFButton"));
		if (af->isChecked())
			QTest::mouseClick(af, Qt::LeftButton);
		QVERIFY(cameraSettled(dialog));
	}

	SettingsHome home;
	QTemporaryDir customProfiles;
	std::map<QString, std::unique_ptr<CameraSimulator>> cameras;
	std::map<QString, std::unique_ptr<MainDialog>> dialogs;
};

QTEST_MAIN(tst_MainDialogPanel)
#include "tst_MainDialogPanel.moc"
