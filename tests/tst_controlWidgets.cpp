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

// Runs a script of configuration calls on a plus/minus button: "R<min>,<max>" setMinMaxValue,
// "L<name>=<value>,..." setElements, "V<n>" setValue, "E1"/"E0" setEnabledUI.
void runScript(KVPlusMinusButton &button, const QStringList &script)
{
	for (const QString &step : script) {
		const QString arg = step.mid(1);
		if (step.startsWith('R')) {
			button.setMinMaxValue(arg.section(',', 0, 0).toInt(), arg.section(',', 1, 1).toInt());
		} else if (step.startsWith('L')) {
			QMap<std::string, int> elements;
			for (const QString &pair : arg.split(',', Qt::SkipEmptyParts))
				elements.insert(pair.section('=', 0, 0).toStdString(), pair.section('=', 1).toInt());
			button.setElements(elements);
		} else if (step.startsWith('V')) {
			button.setValue(arg.toInt());
		} else {
			button.setEnabledUI(arg == QLatin1String("1"));
		}
	}
}

template <typename Spy>
QList<int> firstArguments(const Spy &spy)
{
	QList<int> values;
	for (const auto &args : spy)
		values << args.at(0).toInt();
	return values;
}

const QStringList kRange{"R0,10"};
const QStringList kElements{"Lhigh=3,low=1,mid=2"};

struct StepRow {
	const char *name;
	QStringList setup;
	const char *shown;
	bool plus;
	const char *text;
	QList<int> emitted;
};
// The elements are high=3, low=1, mid=2: stepping follows the values (low, mid, high), not the names. The step
// starts from the shown text; text that is no number counts as 0.
const StepRow kStepRows[] = {
	{"plus inside", kRange, "5", true, "6", {6}},
	{"plus at max", kRange, "10", true, "10", {}},
	{"plus above max (typed)", kRange, "12", true, "12", {}},
	{"minus at min", kRange, "0", false, "0", {}},
	{"minus onto negative min", {"R-5,5"}, "-4", false, "-5", {-5}},
	{"minus at negative min", {"R-5,5"}, "-5", false, "-5", {}},
	{"typed text plus", kRange, "abc", true, "1", {1}},
	{"mid plus", kElements, "mid", true, "high", {3}},
	{"mid minus", kElements, "mid", false, "low", {1}},
	{"high plus", kElements, "high", true, "high", {}},
	{"low minus", kElements, "low", false, "low", {}},
	{"unknown plus", kElements, "medium", true, "medium", {}},
};

struct SetValueRow {
	const char *name;
	QStringList setup;
	int value;
	bool shown;
	const char *text;
};
const SetValueRow kSetValueRows[] = {
	{"range min", {"R0,10", "V5"}, 0, true, "0"},
	{"range max", {"R0,10", "V5"}, 10, true, "10"},
	{"range above", {"R0,10", "V5"}, 11, false, "5"},
	{"range below", {"R0,10", "V5"}, -1, false, "5"},
	{"element found", kElements, 1, true, "low"},
	{"element missing", {kElements.first(), "V2"}, 4, false, "mid"},
	{"equal values take first name", {"LY=7,X=7"}, 7, true, "X"},
	// The last of the two setters decides the mode.
	{"elements after range", {"R0,10", kElements.first()}, 3, true, "high"},
	{"range after elements", {kElements.first(), "R0,10"}, 2, true, "2"},
};

struct GetValueRow {
	const char *name;
	QStringList setup;
	const char *field, *key;
	int expected;
};
const GetValueRow kGetValueRows[] = {
	{"range ignores name", kRange, "7", "mid", 7},
	{"range no number", kRange, "x1", "", 0},
	{"element by name", kElements, "low", "high", 3},
	{"element unknown: names are exact bytes", kElements, "low", "Mid", -1},
	{"element utf-8 name", {QString::fromUtf8("L\xc2\xb5s=4,ms=5")}, "", "\xc2\xb5s", 4},
};

struct EnablingRow {
	const char *name;
	QStringList script;
	bool edit, buttons;
	const char *text;
};
const EnablingRow kEnablingRows[] = {
	{"range enables field", {"R0,10", "V3"}, true, true, "3"},
	{"enabledUI true disables field", {"R0,10", "V3", "E1"}, false, true, "3"},
	{"enabledUI false", {"R0,10", "E0"}, false, false, ""},
	{"equal bounds empty and disable", {"R0,10", "V3", "R5,5"}, false, false, ""},
	{"equal bounds keep buttons off", {"R5,5", "E1"}, false, false, ""},
	{"range again re-enables", {"R5,5", "E0", "R0,10"}, true, true, ""},
	// Elements change no enabled state, but the bounds set before still decide the gating (gamma control).
	{"elements keep disabled buttons", {"R0,10", "V4", "E0", "Lhigh=3,low=1"}, false, false, "4"},
	{"elements with single-entry bounds", {"R1,1", "Lg=1", "V1", "E1"}, false, false, "g"},
	{"elements with wide bounds", {"R1,4", "La=1,b=4", "E0", "E1"}, false, true, ""},
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

	void step_data() { addTableRows(kStepRows); }
	void step()
	{
		const StepRow &row = currentTableRow(kStepRows);
		KVPlusMinusButton widget;
		runScript(widget, row.setup);
		auto *edit = child<QLineEdit>(widget, "InputEdit");
		edit->setText(QString::fromLatin1(row.shown));
		QSignalSpy spy(&widget, &KVPlusMinusButton::valueChanged);
		QTest::mouseClick(child<QPushButton>(widget, row.plus ? "PlusButton" : "MinusButton"), Qt::LeftButton);
		QCOMPARE(edit->text(), QString::fromLatin1(row.text));
		QCOMPARE(firstArguments(spy), row.emitted);
	}

	void setValue_data() { addTableRows(kSetValueRows); }
	void setValue()
	{
		const SetValueRow &row = currentTableRow(kSetValueRows);
		KVPlusMinusButton widget;
		runScript(widget, row.setup);
		QSignalSpy spy(&widget, &KVPlusMinusButton::valueChanged);
		QCOMPARE(widget.setValue(row.value), row.shown);
		QCOMPARE(child<QLineEdit>(widget, "InputEdit")->text(), QString::fromLatin1(row.text));
		// Showing a camera reading must never turn into a command.
		QCOMPARE(spy.count(), 0);
	}

	void getValue_data() { addTableRows(kGetValueRows); }
	void getValue()
	{
		const GetValueRow &row = currentTableRow(kGetValueRows);
		KVPlusMinusButton widget;
		runScript(widget, row.setup);
		child<QLineEdit>(widget, "InputEdit")->setText(QString::fromUtf8(row.field));
		QCOMPARE(widget.getValue(QString::fromUtf8(row.key)), row.expected);
	}

	void enabling_data() { addTableRows(kEnablingRows); }
	void enabling()
	{
		const EnablingRow &row = currentTableRow(kEnablingRows);
		KVPlusMinusButton widget;
		runScript(widget, row.script);
		QCOMPARE(child<QLineEdit>(widget, "InputEdit")->isEnabled(), row.edit);
		QCOMPARE(child<QPushButton>(widget, "PlusButton")->isEnabled(), row.buttons);
		QCOMPARE(child<QPushButton>(widget, "MinusButton")->isEnabled(), row.buttons);
		QCOMPARE(child<QLineEdit>(widget, "InputEdit")->text(), QString::fromLatin1(row.text));
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
