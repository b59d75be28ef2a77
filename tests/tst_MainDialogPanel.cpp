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

} // namespace

class tst_MainDialogPanel : public QObject {
	Q_OBJECT

private slots:
	void initTestCase();
	void init();
	void cleanupTestCase();

	void directionPad_data();
	void directionPad();
	void lensButtonsHoldAndRelease_data();
	void lensButtonsHoldAndRelease();
	void slidersSendDirectPositions_data();
	void slidersSendDirectPositions();
	void autoFocusSwitch();
	void presetSelectionIsExclusive();
	void presetStore_data();
	void presetStore();
	void presetCall_data();
	void presetCall();
	void speedCommit_data();
	void speedCommit();
	void speedsAtConnect_data();
	void speedsAtConnect();
	void presetSpeedSelection();
	void presetSpeedListWithoutSixthEntry();
	void modeGating_data();
	void modeGating();
	void valueControlsReachTheirSetting_data();
	void valueControlsReachTheirSetting();
	void scenes_data();
	void scenes();
	void modesAreKnownByTheirCodes();
	void everyLookedUpKeyIsInTheLocale();

private:
	// A window connected to one kind of camera, kept for the whole run (its watchdog stays quiet).
	MainDialog *connectedTo(const QString &kind);
	std::unique_ptr<MainDialog> connectFresh(const QString &kind);
	CameraSimulator &camera(const QString &kind) { return *cameras.at(kind); }
	template <typename T>
	static T *child(MainDialog *dialog, const QString &name)
	{
		return namedChild<T>(dialog, name);
	}
	static void select(QComboBox *box, const QString &text);
	static void typeSpeed(QLineEdit *edit, const QString &text);
	// Manual focus, so the focus buttons and slider can be used; waits until the camera has it.
	static void setManualFocus(MainDialog *dialog);

	SettingsHome home;
	QTemporaryDir customProfiles;
	std::map<QString, std::unique_ptr<CameraSimulator>> cameras;
	std::map<QString, std::unique_ptr<MainDialog>> dialogs;
};

void tst_MainDialogPanel::initTestCase()
{
	QVERIFY(home.setUp());
	QVERIFY(loadWindowLocale());
	qputenv("KAVREN_PROFILE_DIR", kShippedProfiles.toUtf8());
	installModalAnswerer();
	CapturedLog::install();
	QVERIFY(customProfiles.isValid());
	QVERIFY(writeProfile(customProfiles.path(), QStringLiteral("NX-B93K"), QStringLiteral("NX-B93K"),
			     customProfile));
	for (const CameraKind &kind : kCameras)
		cameras[QString::fromLatin1(kind.name)] = startCamera(kind.address, kind.model);
}

void tst_MainDialogPanel::init()
{
	QJsonObject settings;
	for (const CameraKind &kind : kCameras)
		settings[QStringLiteral("Camera%1IP").arg(kind.slot)] = QString::fromLatin1(kind.address);
	SettingsHome::write(settings);
	boxTexts().clear();
	for (auto &entry : cameras)
		clearWhenQuiet(*entry.second);
	CapturedLog::clear();
}

void tst_MainDialogPanel::cleanupTestCase()
{
	dialogs.clear();
	ModalBox::setAnswerer(nullptr);
}

std::unique_ptr<MainDialog> tst_MainDialogPanel::connectFresh(const QString &kind)
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

MainDialog *tst_MainDialogPanel::connectedTo(const QString &kind)
{
	auto &dialog = dialogs[kind];
	if (!dialog)
		dialog = connectFresh(kind);
	if (!cameraSettled(dialog.get()))
		qWarning("the %s camera did not settle", qPrintable(kind));
	clearWhenQuiet(camera(kind));
	return dialog.get();
}

void tst_MainDialogPanel::select(QComboBox *box, const QString &text)
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

void tst_MainDialogPanel::setManualFocus(MainDialog *dialog)
{
	auto *af = child<QPushButton>(dialog, QStringLiteral("AFButton"));
	if (af->isChecked())
		QTest::mouseClick(af, Qt::LeftButton);
	QVERIFY(cameraSettled(dialog));
}

void tst_MainDialogPanel::typeSpeed(QLineEdit *edit, const QString &text)
{
	edit->clear();
	QTest::keyClicks(edit, text);
	QTest::keyClick(edit, Qt::Key_Return);
}

// ------------------------------------------------------------------------------------------------ motion

void tst_MainDialogPanel::directionPad_data()
{
	QTest::addColumn<QString>("button");
	QTest::addColumn<QString>("direction"); // the two direction bytes of the drive message; empty for home

	const char *const rows[][3] = {
		{"up left", "UpperLeftButton", "0101"},
		{"up", "UpButton", "0301"},
		{"up right", "UpperRightButton", "0201"},
		{"left", "LefButton", "0103"},
		{"right", "RightButton", "0203"},
		{"down left", "LowerLeftButton", "0102"},
		{"down", "DownButton", "0302"},
		{"down right", "LowerRightButton", "0202"},
		{"home", "HomeButton", ""},
	};
	for (const auto &row : rows)
		QTest::newRow(row[0]) << QString::fromLatin1(row[1]) << QString::fromLatin1(row[2]);
}

void tst_MainDialogPanel::directionPad()
{
	QFETCH(QString, button);
	QFETCH(QString, direction);
	MainDialog *dialog = connectedTo(QStringLiteral("b93"));
	CameraSimulator &b93 = camera(QStringLiteral("b93"));
	auto *pad = child<QPushButton>(dialog, button);
	const QString speeds = hexByte(child<QLineEdit>(dialog, QStringLiteral("PanSpeedEdit"))->text().toInt()) +
			       hexByte(child<QLineEdit>(dialog, QStringLiteral("TiltSpeedEdit"))->text().toInt());
	const int homes = b93.state().homeCount;

	QTest::mousePress(pad, Qt::LeftButton);
	QVERIFY(cameraSettled(dialog));
	if (direction.isEmpty()) {
		QTRY_COMPARE(sent(commandPayloads(b93)), sent(QStringList{QStringLiteral("81010604ff")}));
		QCOMPARE(b93.state().homeCount, homes + 1);
	} else {
		QTRY_COMPARE(sent(commandPayloads(b93)),
			     sent(QStringList{QStringLiteral("81010601") + speeds + direction + QStringLiteral("ff")}));
		QVERIFY(b93.state().motion != SimCameraState::Motion::Stop);
	}
	clearWhenQuiet(b93);
	QTest::mouseRelease(pad, Qt::LeftButton);
	QVERIFY(cameraSettled(dialog));
	if (direction.isEmpty()) {
		QVERIFY(onlyMarkerArrives(dialog, b93));
	} else {
		QTRY_COMPARE(sent(commandPayloads(b93)),
			     sent(QStringList{QStringLiteral("81010601") + speeds + QStringLiteral("0303ff")}));
		QCOMPARE(b93.state().motion, SimCameraState::Motion::Stop);
	}
}

namespace {

struct LensRow {
	const char *name, *widget, *button, *speedEdit;
	const char *start; // payload; %1 is the speed nibble
	const char *stop, *directPrefix, *slider;
};
const LensRow kLensRows[] = {
	{"zoom in", "ZoomWidget", "ZoomPlusButton", "ZoomSpeedEdit", "810104072%1ff", "8101040700ff", "81010447",
	 "ZoomSlider"},
	{"zoom out", "ZoomWidget", "ZoomMinusButton", "ZoomSpeedEdit", "810104073%1ff", "8101040700ff", "81010447",
	 "ZoomSlider"},
	{"focus near", "FocusWidget", "FocusPlusButton", "FocusSpeedEdit", "810104083%1ff", "8101040800ff", "81010448",
	 "FocusSlider"},
	{"focus far", "FocusWidget", "FocusMinusButton", "FocusSpeedEdit", "810104082%1ff", "8101040800ff", "81010448",
	 "FocusSlider"},
};

} // namespace

void tst_MainDialogPanel::lensButtonsHoldAndRelease_data()
{
	addTableRows(kLensRows);
}

void tst_MainDialogPanel::lensButtonsHoldAndRelease()
{
	const LensRow &row = currentTableRow(kLensRows);
	MainDialog *dialog = connectedTo(QStringLiteral("b93"));
	CameraSimulator &b93 = camera(QStringLiteral("b93"));
	QWidget *column = child<QWidget>(dialog, row.widget);
	setManualFocus(dialog);
	clearWhenQuiet(b93);

	auto *hold = column->findChild<QPushButton *>(row.button);
	QVERIFY(hold && hold->isEnabled());
	const int speed = child<QLineEdit>(dialog, row.speedEdit)->text().toInt();
	QTest::mousePress(hold, Qt::LeftButton);
	QTest::mouseRelease(hold, Qt::LeftButton);
	QVERIFY(cameraSettled(dialog));
	QTRY_COMPARE(sent(commandPayloads(b93)), QString::fromLatin1(row.start).arg(speed, 0, 16) + ' ' + row.stop);
	// The slider follows the camera's reported position without sending it back: nothing of the kind came before
	// a marker sent after the worker went idle.
	QVERIFY(receivedBeforeMarker(b93) >= 0);
	QVERIFY(commandPayloads(b93, row.directPrefix).isEmpty());
	const SimCameraState state = b93.state();
	const bool zoom = QLatin1String(row.widget) == QLatin1String("ZoomWidget");
	QCOMPARE(column->findChild<QSlider *>(row.slider)->value(), zoom ? state.picture.zoom : state.picture.focus);
}

void tst_MainDialogPanel::slidersSendDirectPositions_data()
{
	QTest::addColumn<QString>("slider");
	QTest::addColumn<int>("position");
	QTest::addColumn<QString>("payloadFormat"); // %1 = the four position nibbles, %2 = zoom speed byte

	QTest::newRow("zoom") << "ZoomSlider" << 0x2345 << "81010447%1%2ff";
	QTest::newRow("zoom wide end") << "ZoomSlider" << 0 << "81010447%1%2ff";
	QTest::newRow("focus") << "FocusSlider" << 0x3456 << "81010448%1ff";
}

void tst_MainDialogPanel::slidersSendDirectPositions()
{
	QFETCH(QString, slider);
	QFETCH(int, position);
	QFETCH(QString, payloadFormat);
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

	QString nibbles;
	for (int shift = 12; shift >= 0; shift -= 4)
		nibbles += hexByte((position >> shift) & 0xF);
	const QString speed = hexByte(child<QLineEdit>(dialog, QStringLiteral("ZoomSpeedEdit"))->text().toInt());
	const QString payload = payloadFormat.contains(QLatin1String("%2")) ? payloadFormat.arg(nibbles, speed)
									    : payloadFormat.arg(nibbles);
	QTRY_COMPARE(sent(commandPayloads(b93)), sent(QStringList{payload}));
	const SimCameraState state = b93.state();
	QCOMPARE(slider == QLatin1String("ZoomSlider") ? state.picture.zoom : state.picture.focus, position);
}

void tst_MainDialogPanel::autoFocusSwitch()
{
	MainDialog *dialog = connectedTo(QStringLiteral("b93"));
	CameraSimulator &b93 = camera(QStringLiteral("b93"));
	auto *af = child<QPushButton>(dialog, QStringLiteral("AFButton"));
	auto *slider = child<QSlider>(dialog, QStringLiteral("FocusSlider"));
	const bool wasAuto = af->isChecked();
	QCOMPARE(wasAuto, b93.state().picture.autoFocus);

	QTest::mouseClick(af, Qt::LeftButton);
	QVERIFY(cameraSettled(dialog));
	QTRY_COMPARE(sent(commandPayloads(b93)),
		     sent(QStringList{wasAuto ? QStringLiteral("8101043803ff") : QStringLiteral("8101043802ff")}));
	QCOMPARE(slider->isEnabled(), wasAuto);
	clearWhenQuiet(b93);
	QTest::mouseClick(af, Qt::LeftButton);
	QVERIFY(cameraSettled(dialog));
	QTRY_COMPARE(sent(commandPayloads(b93)),
		     sent(QStringList{wasAuto ? QStringLiteral("8101043802ff") : QStringLiteral("8101043803ff")}));
	QCOMPARE(slider->isEnabled(), !wasAuto);
	QCOMPARE(b93.state().picture.autoFocus, wasAuto);
}

// ------------------------------------------------------------------------------------------------ presets

void tst_MainDialogPanel::presetSelectionIsExclusive()
{
	MainDialog *dialog = connectedTo(QStringLiteral("b93"));
	const auto checked = [dialog]() {
		QList<int> list;
		for (int preset = 1; preset <= 9; ++preset)
			if (child<QPushButton>(dialog, QStringLiteral("Preset%1Button").arg(preset))->isChecked())
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

void tst_MainDialogPanel::presetStore_data()
{
	QTest::addColumn<bool>("ten");
	QTest::addColumn<int>("preset"); // 0: no preset button
	QTest::addColumn<int>("stored"); // 0: nothing sent

	QTest::newRow("3") << false << 3 << 3;
	QTest::newRow("10+ and 3") << true << 3 << 13;
	QTest::newRow("9") << false << 9 << 9;
	QTest::newRow("10+ and 9") << true << 9 << 19;
	QTest::newRow("10+ alone") << true << 0 << 10;
	QTest::newRow("nothing selected") << false << 0 << 0;
}

void tst_MainDialogPanel::presetStore()
{
	QFETCH(bool, ten);
	QFETCH(int, preset);
	QFETCH(int, stored);
	MainDialog *dialog = connectedTo(QStringLiteral("b93"));
	CameraSimulator &b93 = camera(QStringLiteral("b93"));
	auto *tenButton = child<QPushButton>(dialog, QStringLiteral("TenButton"));
	if (ten)
		QTest::mouseClick(tenButton, Qt::LeftButton);
	if (preset)
		QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("Preset%1Button").arg(preset)),
				  Qt::LeftButton);
	const int lastSaved = b93.state().lastSavedPreset;

	QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("StoreButton")), Qt::LeftButton);
	QVERIFY(cameraSettled(dialog));
	if (stored) {
		QTRY_COMPARE(sent(commandPayloads(b93)),
			     sent(QStringList{QStringLiteral("8101043f01") + hexByte(stored) + QStringLiteral("ff")}));
		QCOMPARE(b93.state().lastSavedPreset, stored);
	} else {
		QVERIFY(onlyMarkerArrives(dialog, b93));
		QCOMPARE(b93.state().lastSavedPreset, lastSaved);
	}
	QVERIFY(!tenButton->isChecked());
	QCOMPARE(dialog->calculatePresetIndex(), 0);
}

void tst_MainDialogPanel::presetCall_data()
{
	QTest::addColumn<bool>("ten");
	QTest::addColumn<int>("preset");
	QTest::addColumn<int>("recalled");

	QTest::newRow("10+ and 3") << true << 3 << 13;
	QTest::newRow("nothing selected") << false << 0 << 0;
}

void tst_MainDialogPanel::presetCall()
{
	QFETCH(bool, ten);
	QFETCH(int, preset);
	QFETCH(int, recalled);
	MainDialog *dialog = connectedTo(QStringLiteral("b93"));
	CameraSimulator &b93 = camera(QStringLiteral("b93"));
	auto *tenButton = child<QPushButton>(dialog, QStringLiteral("TenButton"));
	if (ten)
		QTest::mouseClick(tenButton, Qt::LeftButton);
	if (preset)
		QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("Preset%1Button").arg(preset)),
				  Qt::LeftButton);
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
	if (recalled) {
		QTRY_COMPARE(sent(commandPayloads(b93)), sent(QStringList{QStringLiteral("8101043f02") +
									  hexByte(recalled) + QStringLiteral("ff")}));
		QCOMPARE(b93.state().lastRecalledPreset, recalled);
	}
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

// ------------------------------------------------------------------------------------------------ speeds

void tst_MainDialogPanel::speedCommit_data()
{
	QTest::addColumn<QString>("edit");
	QTest::addColumn<QString>("typed");
	QTest::addColumn<QString>("shown");
	QTest::addColumn<QString>("key");

	// NX-B93K: pan 1..24, tilt 1..20, zoom 1..7, focus 1..7. The edits take digits only.
	const char *const rows[][5] = {
		{"pan above maximum", "PanSpeedEdit", "99", "24", "PanSpeed"},
		{"pan letters", "PanSpeedEdit", "1a5b", "15", "PanSpeed"},
		{"tilt empty", "TiltSpeedEdit", "", "1", "TiltSpeed"},
		{"tilt sign", "TiltSpeedEdit", "-5", "5", "TiltSpeed"},
		{"zoom zero", "ZoomSpeedEdit", "0", "1", "ZoomSpeed"},
		{"zoom point", "ZoomSpeedEdit", "0.4", "4", "ZoomSpeed"},
		{"focus above maximum", "FocusSpeedEdit", "12", "7", "FocusSpeed"},
		{"focus leading zero", "FocusSpeedEdit", "02", "2", "FocusSpeed"},
	};
	for (const auto &row : rows)
		QTest::newRow(row[0]) << QString::fromLatin1(row[1]) << QString::fromLatin1(row[2])
				      << QString::fromLatin1(row[3]) << QString::fromLatin1(row[4]);
}

void tst_MainDialogPanel::speedCommit()
{
	QFETCH(QString, edit);
	QFETCH(QString, typed);
	QFETCH(QString, shown);
	QFETCH(QString, key);
	MainDialog *dialog = connectedTo(QStringLiteral("b93"));
	CameraSimulator &b93 = camera(QStringLiteral("b93"));
	auto *lineEdit = child<QLineEdit>(dialog, edit);

	typeSpeed(lineEdit, typed);
	QCOMPARE(lineEdit->text(), shown);
	QTRY_COMPARE(SettingsHome::read().value(QStringLiteral("127.0.0.66NX-B93K") + key).toString(), shown);
	// Stored in the link, not sent.
	QVERIFY(cameraSettled(dialog));
	QVERIFY(onlyMarkerArrives(dialog, b93));
	clearWhenQuiet(b93);

	// The next move carries it.
	const int speed = shown.toInt();
	QString probe;
	QString expected;
	if (key == QLatin1String("PanSpeed") || key == QLatin1String("TiltSpeed")) {
		probe = QStringLiteral("UpButton");
		expected = QStringLiteral("81010601") +
			   hexByte(child<QLineEdit>(dialog, QStringLiteral("PanSpeedEdit"))->text().toInt()) +
			   hexByte(child<QLineEdit>(dialog, QStringLiteral("TiltSpeedEdit"))->text().toInt()) +
			   QStringLiteral("0301ff");
	} else if (key == QLatin1String("ZoomSpeed")) {
		probe = QStringLiteral("ZoomPlusButton");
		expected = QStringLiteral("810104072%1ff").arg(speed);
	} else {
		probe = QStringLiteral("FocusPlusButton");
		expected = QStringLiteral("810104083%1ff").arg(speed);
		setManualFocus(dialog);
		clearWhenQuiet(b93);
	}
	auto *probeButton = child<QPushButton>(dialog, probe);
	QTest::mousePress(probeButton, Qt::LeftButton);
	QTest::mouseRelease(probeButton, Qt::LeftButton);
	QVERIFY(cameraSettled(dialog));
	QTRY_VERIFY(!commandPayloads(b93).isEmpty());
	QCOMPARE(commandPayloads(b93).first(), expected);
}

void tst_MainDialogPanel::speedsAtConnect_data()
{
	QTest::addColumn<bool>("storedBefore");
	QTest::addColumn<QStringList>("speeds"); // pan, tilt, zoom, focus as shown after the connect
	QTest::addColumn<QString>("presetSpeed");
	QTest::addColumn<int>("presetSpeedCode");

	QTest::newRow("stored") << true << QStringList{"12", "20", "2", "6"} << QString::fromUtf8("50 °/s") << 0x08;
	QTest::newRow("defaults") << false << QStringList{"7", "7", "5", "3"} << QString::fromUtf8("160 °/s") << 0x14;
}

void tst_MainDialogPanel::speedsAtConnect()
{
	QFETCH(bool, storedBefore);
	QFETCH(QStringList, speeds);
	QFETCH(QString, presetSpeed);
	QFETCH(int, presetSpeedCode);
	const QString prefix = QStringLiteral("127.0.0.66NX-B93K");
	const QStringList keys{QStringLiteral("PanSpeed"), QStringLiteral("TiltSpeed"), QStringLiteral("ZoomSpeed"),
			       QStringLiteral("FocusSpeed")};
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
	QCOMPARE(sent(commands),
		 sent(QStringList{QStringLiteral("81010620") + hexByte(presetSpeedCode) + QStringLiteral("ff")}));

	clearWhenQuiet(b93);
	QTest::mousePress(child<QPushButton>(dialog.get(), QStringLiteral("UpButton")), Qt::LeftButton);
	QTRY_COMPARE(sent(commandPayloads(b93)),
		     sent(QStringList{QStringLiteral("81010601") + hexByte(speeds.at(0).toInt()) +
				      hexByte(speeds.at(1).toInt()) + QStringLiteral("0301ff")}));
	QTest::mouseRelease(child<QPushButton>(dialog.get(), QStringLiteral("UpButton")), Qt::LeftButton);
	QVERIFY(cameraSettled(dialog.get()));
}

void tst_MainDialogPanel::presetSpeedSelection()
{
	MainDialog *dialog = connectedTo(QStringLiteral("b93"));
	CameraSimulator &b93 = camera(QStringLiteral("b93"));
	auto *box = child<QComboBox>(dialog, QStringLiteral("PresetSpeedBox"));
	QCOMPARE(box->count(), 8);
	QCOMPARE(box->itemText(0), QString::fromUtf8("5 °/s"));
	QCOMPARE(box->itemText(7), QString::fromUtf8("300 °/s"));

	select(box, QString::fromUtf8("25 °/s"));
	QVERIFY(cameraSettled(dialog));
	QTRY_COMPARE(sent(commandPayloads(b93)), sent(QStringList{QStringLiteral("8101062004ff")}));
	QCOMPARE(b93.state().presetSpeed, 0x04);
	QCOMPARE(SettingsHome::read().value(QStringLiteral("127.0.0.66NX-B93KPresetSpeed")).toString(),
		 QString::fromUtf8("25 °/s"));
}

void tst_MainDialogPanel::presetSpeedListWithoutSixthEntry()
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
	clearWhenQuiet(custom);
	box->setCurrentIndex(1);
	QVERIFY(cameraSettled(dialog.get()));
	QTRY_COMPARE(sent(commandPayloads(custom)), sent(QStringList{QStringLiteral("8101062008ff")}));
	QVERIFY(boxTexts().isEmpty());
}

// ------------------------------------------------------------------------------------------------ panel

void tst_MainDialogPanel::modeGating_data()
{
	QTest::addColumn<QString>("box");
	QTest::addColumn<QByteArray>("mode"); // locale key of the mode's name
	QTest::addColumn<QString>("command");
	// "<widget>[/<child>]=<0|1>": enabled state of a control (child: a button inside a plus/minus control).
	QTest::addColumn<QStringList>("enabled");
	QTest::addColumn<QStringList>("readBack"); // inquiries that must follow the mode command

	const QStringList exposureReads{"8109044aff", "8109044bff", "8109044cff"};
	QTest::newRow("exposure manual") << QStringLiteral("ExposureModeBox") << QByteArray("Manual")
					 << QStringLiteral("8101043903ff")
					 << QStringList{"ShutterSpeedButton=1", "IrisButton=1", "GainButton=1"}
					 << exposureReads;
	QTest::newRow("exposure auto") << QStringLiteral("ExposureModeBox") << QByteArray("Auto")
				       << QStringLiteral("8101043900ff")
				       << QStringList{"ShutterSpeedButton=0", "IrisButton=0", "GainButton=0"}
				       << exposureReads;
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
	QTest::newRow("image custom") << QStringLiteral("ImageModeBox") << QByteArray("Custom")
				      << QStringLiteral("8101043f0404ff")
				      << QStringList{"SharpnessButton/PlusButton=1", "SaturationButton/PlusButton=1",
						     "HueButton/MinusButton=1", "GammaButton/PlusButton=1"}
				      << imageReads;
	QTest::newRow("image standard") << QStringLiteral("ImageModeBox") << QByteArray("Standard")
					<< QStringLiteral("8101043f0400ff")
					<< QStringList{"SharpnessButton/PlusButton=1", "SaturationButton/PlusButton=0",
						       "HueButton/MinusButton=0", "GammaButton/PlusButton=0"}
					<< imageReads;
}

void tst_MainDialogPanel::modeGating()
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
		QCOMPARE(child<QWidget>(dialog, QStringLiteral("RGainButton"))->findChild<QLineEdit *>()->text(),
			 QStringLiteral("66"));
}

// Every value control of the panel changes its own setting on the camera, as the camera decodes it.
void tst_MainDialogPanel::valueControlsReachTheirSetting_data()
{
	QTest::addColumn<QString>("control");
	QTest::addColumn<int>("value");
	const std::pair<const char *, int> rows[] = {{"ShutterSpeedButton", 0x11},
						     {"IrisButton", 0x0a},
						     {"GainButton", 0x05},
						     {"RGainButton", 0x33},
						     {"BGainButton", 0x44},
						     {"SharpnessButton", 6},
						     {"HueButton", 9},
						     {"SaturationButton", 5},
						     {"GammaButton", 2}};
	for (const auto &[control, value] : rows)
		QTest::newRow(control) << QString::fromLatin1(control) << value;
}

void tst_MainDialogPanel::valueControlsReachTheirSetting()
{
	QFETCH(QString, control);
	QFETCH(int, value);
	MainDialog *dialog = connectedTo(QStringLiteral("b93"));
	CameraSimulator &b93 = camera(QStringLiteral("b93"));
	const std::map<QString, int SimCameraState::Picture::*> fields{
		{QStringLiteral("ShutterSpeedButton"), &SimCameraState::Picture::shutter},
		{QStringLiteral("IrisButton"), &SimCameraState::Picture::iris},
		{QStringLiteral("GainButton"), &SimCameraState::Picture::gain},
		{QStringLiteral("RGainButton"), &SimCameraState::Picture::rGain},
		{QStringLiteral("BGainButton"), &SimCameraState::Picture::bGain},
		{QStringLiteral("SharpnessButton"), &SimCameraState::Picture::sharpness},
		{QStringLiteral("HueButton"), &SimCameraState::Picture::hue},
		{QStringLiteral("SaturationButton"), &SimCameraState::Picture::saturation},
		{QStringLiteral("GammaButton"), &SimCameraState::Picture::gamma}};
	const auto field = fields.at(control);
	QVERIFY(b93.state().picture.*field != value);

	emit child<KVPlusMinusButton>(dialog, control)->valueChanged(value);
	QVERIFY(cameraSettled(dialog));
	QTRY_COMPARE(b93.state().picture.*field, value);
}

namespace {

struct SceneRow {
	const char *name, *kind, *scene;
	const char *shutter; // name shown and sent; empty: nothing sent
	int shutterCode;
	const char *iris;
	int irisCode;
	const char *gain;
	int gainCode;
	const char *logs; // expected debug lines, separated by "|"
};
const SceneRow kSceneRows[] = {
	// The cinema head has every first choice.
	{"indoor, fine tables", "f64", "IndoorButton", "1/60", 0x08, "F3.2", 0x13, "24dB", 0x18, ""},
	{"motion, fine tables", "f64", "MotionButton", "1/180", 0x0D, "F3.2", 0x13, "27dB", 0x1B, ""},
	// A 50 Hz sensor: "1/60" is refused and the next candidate taken; it has no F2.
	{"indoor, 50 Hz", "w38", "IndoorButton", "1/50", 0x06, "F3.2", 0x0F, "24dB", 0x08,
	 "It's failed to set shutter in 1/60"},
	{"low light, no F2", "w38", "LowLightButton", "1/25", 0x05, "", 0, "33dB", 0x0B,
	 "It's failed to set shutter in 1/30|It's failed to set iris."},
	{"back light, 50 Hz", "w38", "BackLightButton", "1/120", 0x09, "F4.5", 0x0C, "21dB", 0x07, ""},
	// A sparse model: the refusals show the candidate order; "F3" is the indoor name, "F3.0" the motion
	// one.
	{"indoor, sparse", "custom", "IndoorButton", "1/60", 0x06, "F3", 0x15, "24dB", 0x18,
	 "It's failed to set Iris in F3.2|It's failed to set Iris in F3.1|It's failed to set Iris in F3.3"},
	{"motion, sparse", "custom", "MotionButton", "1/180", 0x0A, "", 0, "", 0,
	 "It's failed to set Iris in F3.2|It's failed to set Iris in F3.1|It's failed to set Iris in F3.3|"
	 "It's failed to set Iris in F3.0|It's failed to set Iris in F3.4|It's failed to set Iris in F2.9|"
	 "It's failed to set Iris in F3.5|It's failed to set Gain in 27dB|It's failed to set Gain in 26dB|"
	 "It's failed to set Gain in 28dB|It's the end of Gain List"},
	{"low light, sparse", "custom", "LowLightButton", "", 0, "", 0, "", 0,
	 "It's failed to set shutter in 1/30|It's failed to set shutter in 1/25|"
	 "It's the end of ShutterSpeed List|It's failed to set iris.|It's failed to set Gain in 33dB|"
	 "It's failed to set Gain in 32dB|It's failed to set Gain in 34dB|It's failed to set Gain in 31dB|"
	 "It's failed to set Gain in 35dB|It's failed to set Gain in 30dB|It's failed to set Gain in 36dB|"
	 "It's the end of Gain List"},
	{"back light, sparse", "custom", "BackLightButton", "", 0, "", 0, "", 0,
	 "It's failed to set shutter.|It's failed to set Iris in F4.5|It's failed to set Iris in F4.8|"
	 "It's failed to set Gain in 21dB|It's failed to set Gain in 20dB|It's failed to set Gain in 22dB|"
	 "It's the end of Gain List"},
};

} // namespace

void tst_MainDialogPanel::scenes_data()
{
	addTableRows(kSceneRows);
}

void tst_MainDialogPanel::scenes()
{
	const SceneRow &row = currentTableRow(kSceneRows);
	const QString kind = QString::fromLatin1(row.kind), scene = QString::fromLatin1(row.scene);
	const QString shutter = QString::fromUtf8(row.shutter), iris = QString::fromUtf8(row.iris),
		      gain = QString::fromUtf8(row.gain);
	const int shutterCode = row.shutterCode, irisCode = row.irisCode, gainCode = row.gainCode;
	const QStringList logs = QString::fromLatin1(row.logs).split(QLatin1Char('|'), Qt::SkipEmptyParts);
	MainDialog *dialog = connectedTo(kind);
	CameraSimulator &cam = camera(kind);
	auto *exposureMode = child<QComboBox>(dialog, QStringLiteral("ExposureModeBox"));
	select(exposureMode, localeText("Auto"));
	QVERIFY(cameraSettled(dialog));
	clearWhenQuiet(cam);
	CapturedLog::clear();

	QTest::mouseClick(child<QPushButton>(dialog, scene), Qt::LeftButton);
	QVERIFY(cameraSettled(dialog));
	// Manual exposure first, then shutter, iris and gain in that order, each only when the model has it.
	QStringList expected{QStringLiteral("8101043903ff")};
	if (!shutter.isEmpty())
		expected << QStringLiteral("8101044a0000%1%2ff")
				    .arg(hexByte(shutterCode >> 4), hexByte(shutterCode & 0xF));
	if (!iris.isEmpty())
		expected << QStringLiteral("8101044b000000%1ff").arg(hexByte(irisCode));
	if (!gain.isEmpty())
		expected << QStringLiteral("8101044c0000%1%2ff").arg(hexByte(gainCode >> 4), hexByte(gainCode & 0xF));
	QTRY_COMPARE(sent(commandPayloads(cam)), sent(expected));
	QCOMPARE(exposureMode->currentText(), localeText("Manual"));

	QStringList sceneLogs;
	for (const QString &line : CapturedLog::take(QtDebugMsg))
		if (line.startsWith(QLatin1String("It's")))
			sceneLogs << line;
	QCOMPARE(sceneLogs, logs);

	const auto field = [dialog](const char *control) {
		return child<QWidget>(dialog, QString::fromLatin1(control))->findChild<QLineEdit *>()->text();
	};
	const SimCameraState state = cam.state();
	if (!shutter.isEmpty()) {
		QCOMPARE(field("ShutterSpeedButton"), shutter);
		QCOMPARE(state.picture.shutter, shutterCode);
	}
	if (!iris.isEmpty()) {
		QCOMPARE(field("IrisButton"), iris);
		QCOMPARE(state.picture.iris, irisCode);
	}
	if (!gain.isEmpty()) {
		QCOMPARE(field("GainButton"), gain);
		QCOMPARE(state.picture.gain, gainCode);
	}

	// Pressed again while the box already shows manual exposure: no exposure-mode command this time.
	clearWhenQuiet(cam);
	QTest::mouseClick(child<QPushButton>(dialog, scene), Qt::LeftButton);
	QVERIFY(cameraSettled(dialog));
	if (expected.size() > 1)
		QTRY_COMPARE(sent(commandPayloads(cam)), sent(expected.mid(1)));
	else
		QVERIFY(onlyMarkerArrives(dialog, cam));
}

// A locale may word the modes otherwise than the window's own texts: the panel knows them by their codes.
void tst_MainDialogPanel::modesAreKnownByTheirCodes()
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
		select(child<QComboBox>(dialog.get(), QString::fromLatin1(row.box)), QString::fromLatin1(row.mode));
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

void tst_MainDialogPanel::everyLookedUpKeyIsInTheLocale()
{
	QStringList missing = missingKeys().values();
	missing.sort();
	QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1String(", "))));
}

QTEST_MAIN(tst_MainDialogPanel)
#include "tst_MainDialogPanel.moc"
