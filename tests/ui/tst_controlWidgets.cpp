// The three control widgets of the controller window and the artwork the resources hold.

#include "ShippedLocale.h"
#include "TableRows.h"
#include "ui/KVFocusVerticalSlider.h"
#include "ui/KVPlusMinusButton.h"
#include "ui/KVZoomVerticalSlider.h"
#include "ui/PresetButtonPicture.h"

#include <QApplication>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSvgRenderer>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

template <typename T>
T *child(QWidget &widget, const char *name)
{
	T *found = widget.findChild<T *>(QString::fromLatin1(name));
	if (!found)
		qFatal("missing child %s", name);
	return found;
}

// A value control as the panel sets it up for a camera, in the panel's one order: the model's bounds ({min, max};
// none for a control of names only), its names ("high=3,low=1"), the camera's readings shown in turn, text the
// operator typed, and its mode's gate (-1: not given).
struct Setup {
	QList<int> bounds;
	const char *names;
	QList<int> readings;
	const char *typed;
	int gate;
};

void setUp(KVPlusMinusButton &control, const Setup &setup)
{
	if (!setup.bounds.isEmpty())
		control.setMinMaxValue(setup.bounds.at(0), setup.bounds.at(1));
	if (*setup.names) {
		QMap<std::string, int> names;
		for (const QString &pair : QString::fromUtf8(setup.names).split(','))
			names.insert(pair.section('=', 0, 0).toStdString(), pair.section('=', 1).toInt());
		control.setElements(names);
	}
	for (int reading : setup.readings)
		control.setValue(reading);
	if (*setup.typed)
		child<QLineEdit>(control, "InputEdit")->setText(QString::fromUtf8(setup.typed));
	if (setup.gate >= 0)
		control.setEnabledUI(setup.gate == 1);
}

template <typename Spy>
QList<int> firstArguments(const Spy &spy)
{
	QList<int> values;
	for (const auto &args : spy)
		values << args.at(0).toInt();
	return values;
}

const char kNames[] = "high=3,low=1,mid=2";

// What a control shows once set up, and what two presses of + (or of −) send the camera. Steps follow the codes,
// not the names, from the text shown; text that is no number counts as 0.
struct PressRow {
	const char *name;
	Setup setup;
	const char *shown;
	QList<int> plus, minus;
};
const PressRow kPressRows[] = {
	{"inside", {{0, 10}, "", {5}, "", -1}, "5", {6, 7}, {4, 3}},
	{"at the top", {{0, 10}, "", {10}, "", -1}, "10", {}, {9, 8}},
	{"at the bottom", {{0, 10}, "", {0}, "", -1}, "0", {1, 2}, {}},
	{"onto a negative bottom", {{-5, 5}, "", {-4}, "", -1}, "-4", {-3, -2}, {-5}},
	{"a reading out of range is not shown", {{0, 10}, "", {5, 11, -1}, "", -1}, "5", {6, 7}, {4, 3}},
	{"typed above the top", {{0, 10}, "", {}, "12", -1}, "12", {}, {11, 10}},
	{"typed text counts as 0", {{0, 10}, "", {}, "abc", -1}, "abc", {1, 2}, {}},
	{"names by their codes", {{}, kNames, {2}, "", -1}, "mid", {3}, {1}},
	{"a reading without a name is not shown", {{}, kNames, {1, 4}, "", -1}, "low", {2, 3}, {}},
	{"an unknown name steps nowhere", {{}, kNames, {}, "medium", -1}, "medium", {}, {}},
	// Gated shut: which of two equal codes a press steps to is not defined.
	{"equal codes show the first name", {{0, 10}, "Y=7,X=7", {7}, "", 0}, "X", {}, {}},
	// Bounds under names (the gamma control) only say whether there is anything to step.
	{"names over bounds", {{1, 4}, kNames, {2}, "", 1}, "mid", {3}, {1}},
	{"names over equal bounds", {{1, 1}, kNames, {2}, "", 1}, "mid", {}, {}},
	{"a closed gate", {{0, 10}, "", {3}, "", 0}, "3", {}, {}},
	{"an open gate", {{0, 10}, "", {3}, "", 1}, "3", {4, 5}, {2, 1}},
	{"a closed gate over names", {{0, 10}, kNames, {2}, "", 0}, "mid", {}, {}},
};

// The code a scene's setting finds by its name: in range mode the number shown, whatever the name.
struct CodeRow {
	const char *name;
	Setup setup;
	const char *key;
	int code;
};
const CodeRow kCodeRows[] = {
	{"range ignores the name", {{0, 10}, "", {}, "7", -1}, "mid", 7},
	{"range without a number", {{0, 10}, "", {}, "x1", -1}, "", 0},
	{"a name", {{}, kNames, {1}, "", -1}, "high", 3},
	{"names are exact bytes", {{}, kNames, {}, "", -1}, "Mid", -1},
	{"a utf-8 name", {{}, "\xc2\xb5s=4,ms=5", {}, "", -1}, "\xc2\xb5s", 4},
};

struct LensRow {
	const char *name;
	bool zoom;
	const char *button;
	int type;
};
const LensRow kLensRows[] = {
	{"zoom in", true, "ZoomPlusButton", KVZoomVerticalSlider::ZoomIn},
	{"zoom out", true, "ZoomMinusButton", KVZoomVerticalSlider::ZoomOut},
	{"focus near", false, "FocusPlusButton", KVFocusVerticalSlider::FocusNear},
	{"focus far", false, "FocusMinusButton", KVFocusVerticalSlider::FocusFar},
};

struct SliderRow {
	const char *name;
	QStringList script; // "R<min>,<max>", "V<n>", "K": the operator moves the slider one step
	int value, minimum, maximum;
	QList<int> emitted;
};
const SliderRow kSliderRows[] = {
	{"set inside", {"R0,16384", "V8000"}, 8000, 0, 16384, {8000}},
	{"set same twice", {"R0,100", "V40", "V40"}, 40, 0, 100, {40}},
	{"clamped to max", {"R0,100", "V150"}, 100, 0, 100, {100}},
	{"range change moves value", {"R4096,28672"}, 4096, 4096, 28672, {4096}},
	// The maximum is set first: with inverted bounds the minimum wins and both end at it.
	{"inverted bounds", {"R50,10"}, 50, 50, 50, {50}},
	{"user steps", {"R0,100", "V10", "K", "K"}, 12, 0, 100, {10, 11, 12}},
};

struct AfRow {
	const char *name;
	bool startAuto;
	int action; // -1: a click; otherwise the mode given to updateUI (2 is no mode)
	bool blocked, checked;
	QList<int> modes;
};
constexpr int kManual = KVFocusVerticalSlider::Manual, kAuto = KVFocusVerticalSlider::Auto;
const AfRow kAfRows[] = {
	{"click from manual", false, -1, false, true, {kAuto}},
	{"click from auto", true, -1, false, false, {kManual}},
	{"updateUI auto from manual", false, kAuto, false, true, {kAuto}},
	{"updateUI manual from auto", true, kManual, false, false, {kManual}},
	{"updateUI auto when auto", true, kAuto, false, true, {}},
	{"updateUI manual when manual", false, kManual, false, false, {}},
	{"updateUI while blocked", false, kAuto, true, true, {}},
	// An unknown mode only checks the button; its toggle handler then applies auto focus.
	{"unknown mode from manual", false, 2, false, true, {kAuto}},
};

} // namespace

class TestControlWidgets : public QObject {
	Q_OBJECT

private slots:
	void initTestCase() { QVERIFY(loadLocale()); }

	// ---- KVPlusMinusButton ------------------------------------------------------------------------------

	void presses_data() { addTableRows(kPressRows); }
	void presses()
	{
		const PressRow &row = currentTableRow(kPressRows);
		// Set up afresh for each button; the spy sees the set-up too, as a reading must never become a command.
		const auto sent = [&row](const char *button) {
			KVPlusMinusButton control;
			QSignalSpy spy(&control, &KVPlusMinusButton::valueChanged);
			setUp(control, row.setup);
			for (int press = 0; press < 2; ++press)
				QTest::mouseClick(child<QPushButton>(control, button), Qt::LeftButton);
			return firstArguments(spy);
		};
		KVPlusMinusButton control;
		setUp(control, row.setup);
		QCOMPARE(child<QLineEdit>(control, "InputEdit")->text(), QString::fromUtf8(row.shown));
		QCOMPARE(sent("PlusButton"), row.plus);
		QCOMPARE(sent("MinusButton"), row.minus);
	}

	// The next camera sets the control anew: with nothing to step, the last camera's reading goes and no press
	// sends, whatever the gate; with a range again, presses send from the start, a gate closed before or not.
	void aNextCameraSetsTheControlAnew()
	{
		KVPlusMinusButton control;
		QSignalSpy sent(&control, &KVPlusMinusButton::valueChanged);
		const auto press = [&control] {
			QTest::mouseClick(child<QPushButton>(control, "PlusButton"), Qt::LeftButton);
		};
		setUp(control, {{0, 10}, "", {3}, "", 0});
		setUp(control, {{5, 5}, "", {}, "", 1});
		QCOMPARE(child<QLineEdit>(control, "InputEdit")->text(), QString());
		press();
		setUp(control, {{0, 10}, "", {}, "", -1});
		press();
		QCOMPARE(firstArguments(sent), QList<int>{1});
	}

	void codeOfAName_data() { addTableRows(kCodeRows); }
	void codeOfAName()
	{
		const CodeRow &row = currentTableRow(kCodeRows);
		KVPlusMinusButton control;
		setUp(control, row.setup);
		QCOMPARE(control.getValue(QString::fromUtf8(row.key)), row.code);
	}

	// ---- Zoom and focus columns -------------------------------------------------------------------------

	void pressRelease_data() { addTableRows(kLensRows); }
	void pressRelease()
	{
		const LensRow &row = currentTableRow(kLensRows);
		std::unique_ptr<QWidget> widget;
		if (row.zoom)
			widget = std::make_unique<KVZoomVerticalSlider>();
		else
			widget = std::make_unique<KVFocusVerticalSlider>();
		// The lens type is an enum of each widget's own; the spies see it as its number.
		QSignalSpy started(widget.get(), row.zoom ? SIGNAL(started(KVZoomVerticalSlider::ZoomType))
							  : SIGNAL(started(KVFocusVerticalSlider::FocusType)));
		QSignalSpy stopped(widget.get(), SIGNAL(stopped()));
		QVERIFY(started.isValid() && stopped.isValid());
		widget->show();

		auto *pushButton = child<QPushButton>(*widget, row.button);
		QTest::mousePress(pushButton, Qt::LeftButton);
		QCOMPARE(started.count(), 1);
		QCOMPARE(started.at(0).at(0).toInt(), row.type);
		// Held past the auto-repeat delay: a held lens button must not repeat its start. A timer due after the
		// first repeat would have come marks the point by which a repeat would have been delivered.
		QTimer pastFirstRepeat;
		pastFirstRepeat.setSingleShot(true);
		pastFirstRepeat.setTimerType(Qt::PreciseTimer);
		QSignalSpy marker(&pastFirstRepeat, &QTimer::timeout);
		pastFirstRepeat.start(pushButton->autoRepeatDelay() + pushButton->autoRepeatInterval());
		QVERIFY(marker.wait(10000));
		QCOMPARE(started.count(), 1);
		QCOMPARE(stopped.count(), 0);
		QTest::mouseRelease(pushButton, Qt::LeftButton);
		QCOMPARE(started.count(), 1);
		QCOMPARE(stopped.count(), 1);
	}

	void startedCrossesQueuedConnection()
	{
		// The enums travel by value through queued connections too, so they must be known to the meta-type
		// system.
		KVZoomVerticalSlider zoom;
		KVFocusVerticalSlider focus;
		QObject receiver;
		QList<int> seen;
		const auto record = [&seen](int offset) {
			return [&seen, offset](auto value) { seen << offset + int(value); };
		};
		connect(&zoom, &KVZoomVerticalSlider::started, &receiver, record(0), Qt::QueuedConnection);
		connect(&focus, &KVFocusVerticalSlider::started, &receiver, record(10), Qt::QueuedConnection);
		connect(&focus, &KVFocusVerticalSlider::modeChanged, &receiver, record(20), Qt::QueuedConnection);
		QTest::mousePress(child<QPushButton>(zoom, "ZoomMinusButton"), Qt::LeftButton);
		QTest::mousePress(child<QPushButton>(focus, "FocusMinusButton"), Qt::LeftButton);
		focus.updateUI(KVFocusVerticalSlider::Auto);
		QTRY_COMPARE_WITH_TIMEOUT(seen,
					  (QList<int>{int(KVZoomVerticalSlider::ZoomOut),
						      10 + int(KVFocusVerticalSlider::FocusFar), 20 + kAuto}),
					  5000);
	}

	void sliderValue_data()
	{
		QTest::addColumn<bool>("zoom");
		QTest::addColumn<int>("row");
		for (bool zoom : {true, false})
			for (int row = 0; row < int(std::size(kSliderRows)); ++row)
				QTest::addRow("%s %s", zoom ? "zoom" : "focus", kSliderRows[row].name) << zoom << row;
	}
	void sliderValue()
	{
		QFETCH(bool, zoom);
		const SliderRow &row = currentTableRow(kSliderRows);
		KVZoomVerticalSlider zoomColumn;
		KVFocusVerticalSlider focusColumn;
		QWidget &widget = zoom ? static_cast<QWidget &>(zoomColumn) : focusColumn;
		auto *slider = child<QSlider>(widget, zoom ? "ZoomSlider" : "FocusSlider");
		QSignalSpy spy(&widget, SIGNAL(valueChanged(int)));
		for (const QString &step : row.script) {
			const QString arg = step.mid(1);
			if (step.startsWith('R')) {
				const int min = arg.section(',', 0, 0).toInt(), max = arg.section(',', 1, 1).toInt();
				zoom ? zoomColumn.setMinMaxValue(min, max) : focusColumn.setMinMaxValue(min, max);
			} else if (step.startsWith('V')) {
				zoom ? zoomColumn.setValue(arg.toInt()) : focusColumn.setValue(arg.toInt());
			} else {
				QTest::keyClick(slider, Qt::Key_Up);
			}
		}
		QCOMPARE(slider->value(), row.value);
		QCOMPARE(slider->minimum(), row.minimum);
		QCOMPARE(slider->maximum(), row.maximum);
		QCOMPARE(firstArguments(spy), row.emitted);
	}

	void afMode_data() { addTableRows(kAfRows); }
	void afMode()
	{
		const AfRow &row = currentTableRow(kAfRows);
		KVFocusVerticalSlider focus;
		focus.show();
		if (row.startAuto)
			focus.updateUI(KVFocusVerticalSlider::Auto);
		auto *af = child<QPushButton>(focus, "AFButton");
		QCOMPARE(af->isChecked(), row.startAuto);

		QSignalSpy spy(&focus, &KVFocusVerticalSlider::modeChanged);
		focus.blockSignals(row.blocked);
		if (row.action < 0)
			QTest::mouseClick(af, Qt::LeftButton);
		else
			focus.updateUI(static_cast<KVFocusVerticalSlider::AFMode>(row.action));
		focus.blockSignals(false);

		QCOMPARE(af->isChecked(), row.checked);
		// Manual steps are usable exactly while the camera is in manual focus.
		for (const char *name : {"FocusPlusButton", "FocusMinusButton"})
			QCOMPARE(child<QPushButton>(focus, name)->isEnabled(), !row.checked);
		QCOMPARE(child<QSlider>(focus, "FocusSlider")->isEnabled(), !row.checked);
		QCOMPARE(firstArguments(spy), row.modes);
	}

	// ---- Artwork ----------------------------------------------------------------------------------------

	// Every picture compiled in is an SVG that loads (the window test shows that the forms name only these).
	// A preset's picture shows twice its stored size beside its button while the pointer rests on the button, and
	// goes when the pointer leaves or the picture is taken away.
	void presetPicturePreviewFollowsThePointer()
	{
		const auto findPreview = []() -> QLabel * {
			for (QWidget *window : QApplication::topLevelWidgets())
				if (window->objectName() == QLatin1String("PresetPicturePreview"))
					return qobject_cast<QLabel *>(window);
			return nullptr;
		};
		QPushButton button(QStringLiteral("Opening"));
		button.resize(122, 35);
		button.show();
		QImage shot(160, 90, QImage::Format_RGB32);
		shot.fill(QColor(20, 140, 60));
		PresetButtonPicture::set(&button, shot);
		QEvent enter(QEvent::Enter);
		QApplication::sendEvent(&button, &enter);
		QLabel *preview = findPreview();
		QVERIFY(preview && preview->isVisible());
		const QImage shown = preview->grab().toImage();
		QVERIFY(shown.width() >= 320 && shown.height() >= 180);
		QCOMPARE(shown.pixelColor(shown.width() / 2, 20), QColor(20, 140, 60));
		QEvent leave(QEvent::Leave);
		QApplication::sendEvent(&button, &leave);
		QVERIFY(!preview->isVisible());
		PresetButtonPicture::set(&button, QImage());
		QVERIFY(!findPreview());
	}

	void everyResourceLoads()
	{
		int count = 0;
		QDirIterator it(QStringLiteral(":/resource/images"), QDir::Files, QDirIterator::Subdirectories);
		for (; it.hasNext(); ++count) {
			const QString path = it.next();
			QVERIFY2(path.endsWith(QLatin1String(".svg")) && QSvgRenderer(path).isValid(),
				 qPrintable(path));
		}
		QVERIFY(count >= 69);
	}
};

QTEST_MAIN(TestControlWidgets)
#include "tst_controlWidgets.moc"
