// The three control widgets of the controller window, the About dialog and the artwork their forms refer to.

#include "ShippedLocale.h"
#include "ui/AboutDialog.h"
#include "ui/KVFocusVerticalSlider.h"
#include "ui/KVPlusMinusButton.h"
#include "ui/KVZoomVerticalSlider.h"
#include "settings/ModuleText.h"

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QSlider>
#include <QSvgRenderer>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const char *const kGreaterThanMax = "The value is greater than MaxValue.";
const char *const kNotContained = "The value is not contained in _elements.";
const char *const kSizeOfElements = "The value is greater than or equal to the size of _elements.";
const char *const kLittlerThanZero = "The value is littler than or equal to 0.";
const char *const kCantBeSet = "The value cant' be set.";
const char *const kNotInRange = "The value is not in the range(MaxValue and MinValue)";

// "high=3,low=1,mid=2" -> element map.
QMap<std::string, int> elementsFrom(const QString &text)
{
	QMap<std::string, int> map;
	for (const QString &pair : text.split(',', Qt::SkipEmptyParts)) {
		const QStringList parts = pair.split('=');
		map.insert(parts.at(0).toStdString(), parts.at(1).toInt());
	}
	return map;
}

template <typename T>
T *child(QWidget &widget, const char *name)
{
	T *found = widget.findChild<T *>(QString::fromLatin1(name));
	if (!found)
		qFatal("missing child %s", name);
	return found;
}

// Runs a script of configuration calls on a plus/minus button:
// "R<min>,<max>" setMinMaxValue, "L<elements>" setElements, "V<n>" setValue, "E1"/"E0" setEnabledUI.
void runScript(KVPlusMinusButton &button, const QStringList &script)
{
	for (const QString &step : script) {
		const QString arg = step.mid(1);
		switch (step.at(0).toLatin1()) {
		case 'R':
			button.setMinMaxValue(arg.section(',', 0, 0).toInt(), arg.section(',', 1, 1).toInt());
			break;
		case 'L':
			button.setElements(elementsFrom(arg));
			break;
		case 'V':
			button.setValue(arg.toInt());
			break;
		case 'E':
			button.setEnabledUI(arg == QLatin1String("1"));
			break;
		default:
			qFatal("bad script step");
		}
	}
}

// True when some pixel of `area` is within a small distance of `colour` (antialiasing blurs the edges).
bool areaHasColour(const QImage &image, const QRect &area, const QColor &colour)
{
	for (int y = area.top(); y <= area.bottom(); ++y) {
		for (int x = area.left(); x <= area.right(); ++x) {
			if (!image.rect().contains(x, y))
				continue;
			const QColor c = image.pixelColor(x, y);
			if (qAbs(c.red() - colour.red()) <= 6 && qAbs(c.green() - colour.green()) <= 6 &&
			    qAbs(c.blue() - colour.blue()) <= 6 && c.alpha() > 240)
				return true;
		}
	}
	return false;
}

QStringList imageUrls(QWidget &root)
{
	static const QRegularExpression url(QStringLiteral("url\\(\\s*\"?([^\")]+)\"?\\s*\\)"));
	QSet<QString> found;
	QList<QWidget *> widgets = root.findChildren<QWidget *>();
	widgets.prepend(&root);
	for (QWidget *widget : widgets) {
		auto it = url.globalMatch(widget->styleSheet());
		while (it.hasNext())
			found.insert(it.next().captured(1));
	}
	QStringList list = found.values();
	list.sort();
	return list;
}

std::unique_ptr<QWidget> makeWidget(const QString &kind)
{
	if (kind == QLatin1String("plusminus"))
		return std::make_unique<KVPlusMinusButton>();
	if (kind == QLatin1String("zoom"))
		return std::make_unique<KVZoomVerticalSlider>();
	if (kind == QLatin1String("focus"))
		return std::make_unique<KVFocusVerticalSlider>();
	return std::make_unique<AboutDialog>();
}

} // namespace

class TestControlWidgets : public QObject {
	Q_OBJECT

private slots:
	void initTestCase();

	void step_data();
	void step();
	void setValue_data();
	void setValue();
	void getValue_data();
	void getValue();
	void enabling_data();
	void enabling();

	void pressRelease_data();
	void pressRelease();
	void startedCrossesQueuedConnection();
	void sliderValue_data();
	void sliderValue();
	void afMode_data();
	void afMode();
	void sliderBackground();

	void formImagesExist();
	void buttonArtworkFollowsState_data();
	void buttonArtworkFollowsState();
	void everyResourceRenders();
};

void TestControlWidgets::initTestCase()
{
	QVERIFY(loadLocale());
}

// ---- KVPlusMinusButton --------------------------------------------------------------------------------------

void TestControlWidgets::step_data()
{
	QTest::addColumn<QStringList>("setup");
	QTest::addColumn<QString>("shown");
	QTest::addColumn<bool>("plus");
	QTest::addColumn<QString>("expectedText");
	QTest::addColumn<QVariantList>("emitted");
	QTest::addColumn<QStringList>("logs");

	const auto row = [](const char *name, const QStringList &setup, const char *shown, bool plus, const char *text,
			    QVariantList emitted, QStringList logs) {
		QTest::newRow(name) << setup << QString(shown) << plus << QString(text) << emitted << logs;
	};
	const QStringList range{"R0,10"};
	const char *atMin0 = "The value is littler than or equal to MinValue(0).";
	row("plus inside", range, "5", true, "6", {6}, {});
	row("plus onto max", range, "9", true, "10", {10}, {});
	row("plus at max", range, "10", true, "10", {}, {kGreaterThanMax});
	row("plus above max (typed)", range, "12", true, "12", {}, {kGreaterThanMax});
	row("minus at max", range, "10", false, "9", {9}, {});
	row("minus at min", range, "0", false, "0", {}, {atMin0});
	row("minus onto negative min", {"R-5,5"}, "-4", false, "-5", {-5}, {});
	row("minus at negative min", {"R-5,5"}, "-5", false, "-5", {},
	    {"The value is littler than or equal to MinValue(-5)."});
	// The step starts from the shown text; text that is no number counts as 0.
	row("typed text plus", range, "abc", true, "1", {1}, {});
	row("empty field minus", range, "", false, "", {}, {atMin0});

	// The elements are high=3, low=1, mid=2: stepping follows the values (low, mid, high), not the names.
	const QStringList elements{"Lhigh=3,low=1,mid=2"};
	row("mid plus", elements, "mid", true, "high", {3}, {"key value = 3"});
	row("mid minus", elements, "mid", false, "low", {1}, {});
	row("high minus", elements, "high", false, "mid", {2}, {});
	row("high plus", elements, "high", true, "high", {}, {kSizeOfElements});
	row("low minus", elements, "low", false, "low", {}, {kLittlerThanZero});
	row("unknown plus", elements, "medium", true, "medium", {}, {kNotContained});
	row("other case minus", elements, "Mid", false, "Mid", {}, {kNotContained});
}

void TestControlWidgets::step()
{
	QFETCH(QStringList, setup);
	QFETCH(QString, shown);
	QFETCH(bool, plus);
	QFETCH(QString, expectedText);
	QFETCH(QVariantList, emitted);
	QFETCH(QStringList, logs);

	KVPlusMinusButton widget;
	runScript(widget, setup);
	auto *edit = child<QLineEdit>(widget, "InputEdit");
	edit->setText(shown);

	QSignalSpy spy(&widget, &KVPlusMinusButton::valueChanged);
	for (const QString &log : logs)
		QTest::ignoreMessage(QtDebugMsg, log.toUtf8().constData());
	QTest::mouseClick(child<QPushButton>(widget, plus ? "PlusButton" : "MinusButton"), Qt::LeftButton);

	QCOMPARE(edit->text(), expectedText);
	QVariantList values;
	for (const auto &args : spy)
		values << args.at(0);
	QCOMPARE(values, emitted);
}

void TestControlWidgets::setValue_data()
{
	QTest::addColumn<QStringList>("setup");
	QTest::addColumn<int>("value");
	QTest::addColumn<bool>("shown");
	QTest::addColumn<QString>("expectedText");
	QTest::addColumn<QString>("log");

	const auto row = [](const char *name, QStringList setup, int value, bool shown, const char *text,
			    const char *log) {
		QTest::newRow(name) << setup << value << shown << QString(text) << QString(log);
	};
	row("range min", {"R0,10", "V5"}, 0, true, "0", "");
	row("range max", {"R0,10", "V5"}, 10, true, "10", "");
	row("range above", {"R0,10", "V5"}, 11, false, "5", kNotInRange);
	row("range below", {"R0,10", "V5"}, -1, false, "5", kNotInRange);
	row("red gain answer 300", {"R0,255", "V128"}, 300, false, "128", kNotInRange);
	row("element found", {"Lhigh=3,low=1,mid=2"}, 1, true, "low", "");
	row("element missing", {"Lhigh=3,low=1,mid=2", "V2"}, 4, false, "mid", kCantBeSet);
	row("equal values take first name", {"LY=7,X=7"}, 7, true, "X", "");
	// The last of the two setters decides the mode.
	row("elements after range", {"R0,10", "Lhigh=3,low=1,mid=2"}, 3, true, "high", "");
	row("range after elements", {"Lhigh=3,low=1,mid=2", "R0,10"}, 2, true, "2", "");
}

void TestControlWidgets::setValue()
{
	QFETCH(QStringList, setup);
	QFETCH(int, value);
	QFETCH(bool, shown);
	QFETCH(QString, expectedText);
	QFETCH(QString, log);

	KVPlusMinusButton widget;
	runScript(widget, setup);
	QSignalSpy spy(&widget, &KVPlusMinusButton::valueChanged);
	if (!log.isEmpty())
		QTest::ignoreMessage(QtDebugMsg, log.toUtf8().constData());
	QCOMPARE(widget.setValue(value), shown);
	QCOMPARE(child<QLineEdit>(widget, "InputEdit")->text(), expectedText);
	// Showing a camera reading must never turn into a command.
	QCOMPARE(spy.count(), 0);
}

void TestControlWidgets::getValue_data()
{
	QTest::addColumn<QStringList>("setup");
	QTest::addColumn<QString>("fieldText");
	QTest::addColumn<QString>("name");
	QTest::addColumn<int>("expected");

	const auto row = [](const char *name, QStringList setup, const char *field, const char *key, int expected) {
		QTest::newRow(name) << setup << QString::fromUtf8(field) << QString::fromUtf8(key) << expected;
	};
	row("range ignores name", {"R0,10"}, "7", "mid", 7);
	row("range negative", {"R-5,5"}, "-3", "", -3);
	row("range no number", {"R0,10"}, "x1", "", 0);
	row("element by name", {"Lhigh=3,low=1,mid=2"}, "low", "high", 3);
	row("element unknown", {"Lhigh=3,low=1,mid=2"}, "low", "medium", -1);
	row("element exact bytes", {"Lhigh=3,low=1,mid=2"}, "", "Mid", -1);
	row("element utf-8 name", {QString::fromUtf8("L\xc2\xb5s=4,ms=5")}, "", "\xc2\xb5s", 4);
}

void TestControlWidgets::getValue()
{
	QFETCH(QStringList, setup);
	QFETCH(QString, fieldText);
	QFETCH(QString, name);
	QFETCH(int, expected);

	KVPlusMinusButton widget;
	runScript(widget, setup);
	child<QLineEdit>(widget, "InputEdit")->setText(fieldText);
	QCOMPARE(widget.getValue(name), expected);
}

void TestControlWidgets::enabling_data()
{
	QTest::addColumn<QStringList>("script");
	QTest::addColumn<bool>("editEnabled");
	QTest::addColumn<bool>("buttonsEnabled");
	QTest::addColumn<QString>("text");

	const auto row = [](const char *name, QStringList script, bool edit, bool buttons, const char *text) {
		QTest::newRow(name) << script << edit << buttons << QString(text);
	};
	row("range enables field", {"R0,10", "V3"}, true, true, "3");
	row("enabledUI true disables field", {"R0,10", "V3", "E1"}, false, true, "3");
	row("enabledUI false", {"R0,10", "E0"}, false, false, "");
	row("equal bounds empty and disable", {"R0,10", "V3", "R5,5"}, false, false, "");
	row("equal bounds keep buttons off", {"R5,5", "E1"}, false, false, "");
	row("range again re-enables", {"R5,5", "E0", "R0,10"}, true, true, "");
	// Elements change no enabled state, but the bounds set before still decide the gating (gamma control).
	row("elements keep disabled buttons", {"R0,10", "V4", "E0", "Lhigh=3,low=1"}, false, false, "4");
	row("elements with single-entry bounds", {"R1,1", "Lg=1", "V1", "E1"}, false, false, "g");
	row("elements with wide bounds", {"R1,4", "La=1,b=4", "E0", "E1"}, false, true, "");
}

void TestControlWidgets::enabling()
{
	QFETCH(QStringList, script);
	QFETCH(bool, editEnabled);
	QFETCH(bool, buttonsEnabled);
	QFETCH(QString, text);

	KVPlusMinusButton widget;
	runScript(widget, script);
	QCOMPARE(child<QLineEdit>(widget, "InputEdit")->isEnabled(), editEnabled);
	QCOMPARE(child<QPushButton>(widget, "PlusButton")->isEnabled(), buttonsEnabled);
	QCOMPARE(child<QPushButton>(widget, "MinusButton")->isEnabled(), buttonsEnabled);
	QCOMPARE(child<QLineEdit>(widget, "InputEdit")->text(), text);
}

// ---- Zoom and focus columns ---------------------------------------------------------------------------------

void TestControlWidgets::pressRelease_data()
{
	QTest::addColumn<QString>("kind");
	QTest::addColumn<QString>("button");
	QTest::addColumn<int>("type");

	const auto row = [](const char *name, const char *kind, const char *button, int type) {
		QTest::newRow(name) << QString(kind) << QString(button) << type;
	};
	row("zoom in", "zoom", "ZoomPlusButton", KVZoomVerticalSlider::ZoomIn);
	row("zoom out", "zoom", "ZoomMinusButton", KVZoomVerticalSlider::ZoomOut);
	row("focus near", "focus", "FocusPlusButton", KVFocusVerticalSlider::FocusNear);
	row("focus far", "focus", "FocusMinusButton", KVFocusVerticalSlider::FocusFar);
}

void TestControlWidgets::pressRelease()
{
	QFETCH(QString, kind);
	QFETCH(QString, button);
	QFETCH(int, type);

	auto widget = makeWidget(kind);
	std::unique_ptr<QSignalSpy> startedSpy;
	std::unique_ptr<QSignalSpy> stoppedSpy;
	if (kind == QLatin1String("zoom")) {
		auto *zoom = static_cast<KVZoomVerticalSlider *>(widget.get());
		startedSpy = std::make_unique<QSignalSpy>(zoom, &KVZoomVerticalSlider::started);
		stoppedSpy = std::make_unique<QSignalSpy>(zoom, &KVZoomVerticalSlider::stopped);
	} else {
		auto *focus = static_cast<KVFocusVerticalSlider *>(widget.get());
		startedSpy = std::make_unique<QSignalSpy>(focus, &KVFocusVerticalSlider::started);
		stoppedSpy = std::make_unique<QSignalSpy>(focus, &KVFocusVerticalSlider::stopped);
	}
	QVERIFY(startedSpy->isValid());
	widget->show();

	auto *pushButton = child<QPushButton>(*widget, button.toLatin1().constData());
	QTest::mousePress(pushButton, Qt::LeftButton);
	QCOMPARE(startedSpy->count(), 1);
	QCOMPARE(startedSpy->at(0).at(0).toInt(), type);
	QCOMPARE(stoppedSpy->count(), 0);
	// Held past the auto-repeat delay: a held lens button must not repeat its start. A timer due after the first
	// repeat would have come marks the point by which a repeat would have been delivered.
	QTimer pastFirstRepeat;
	pastFirstRepeat.setSingleShot(true);
	pastFirstRepeat.setTimerType(Qt::PreciseTimer);
	QSignalSpy marker(&pastFirstRepeat, &QTimer::timeout);
	pastFirstRepeat.start(pushButton->autoRepeatDelay() + pushButton->autoRepeatInterval());
	QVERIFY(marker.wait(10000));
	QCOMPARE(startedSpy->count(), 1);
	QCOMPARE(stoppedSpy->count(), 0);

	QTest::mouseRelease(pushButton, Qt::LeftButton);
	QCOMPARE(startedSpy->count(), 1);
	QCOMPARE(stoppedSpy->count(), 1);
}

void TestControlWidgets::startedCrossesQueuedConnection()
{
	// The enums travel by value through queued connections too, so they must be known to the meta-type system.
	KVZoomVerticalSlider zoom;
	KVFocusVerticalSlider focus;
	QObject receiver;
	QList<int> seen;
	connect(
		&zoom, &KVZoomVerticalSlider::started, &receiver,
		[&seen](KVZoomVerticalSlider::ZoomType type) { seen << int(type); }, Qt::QueuedConnection);
	connect(
		&focus, &KVFocusVerticalSlider::started, &receiver,
		[&seen](KVFocusVerticalSlider::FocusType type) { seen << 10 + int(type); }, Qt::QueuedConnection);
	connect(
		&focus, &KVFocusVerticalSlider::modeChanged, &receiver,
		[&seen](KVFocusVerticalSlider::AFMode mode) { seen << 20 + int(mode); }, Qt::QueuedConnection);

	QTest::mousePress(child<QPushButton>(zoom, "ZoomMinusButton"), Qt::LeftButton);
	QTest::mousePress(child<QPushButton>(focus, "FocusMinusButton"), Qt::LeftButton);
	focus.updateUI(KVFocusVerticalSlider::Auto);
	QTRY_COMPARE_WITH_TIMEOUT(
		seen,
		(QList<int>{int(KVZoomVerticalSlider::ZoomOut), 10 + int(KVFocusVerticalSlider::FocusFar),
			    20 + int(KVFocusVerticalSlider::Auto)}),
		5000);
}

void TestControlWidgets::sliderValue_data()
{
	QTest::addColumn<QString>("kind");
	QTest::addColumn<QStringList>("script");
	QTest::addColumn<int>("value");
	QTest::addColumn<int>("minimum");
	QTest::addColumn<int>("maximum");
	QTest::addColumn<QVariantList>("emitted");

	for (const char *kind : {"zoom", "focus"}) {
		const auto row = [kind](const char *name, QStringList script, int value, int min, int max,
					QVariantList emitted) {
			QTest::addRow("%s %s", kind, name) << QString(kind) << script << value << min << max << emitted;
		};
		row("set inside", {"R0,16384", "V8000"}, 8000, 0, 16384, {8000});
		row("set same twice", {"R0,100", "V40", "V40"}, 40, 0, 100, {40});
		row("clamped to max", {"R0,100", "V150"}, 100, 0, 100, {100});
		row("range change moves value", {"R4096,28672"}, 4096, 4096, 28672, {4096});
		// The maximum is set first: with inverted bounds the minimum wins and both end at it.
		row("inverted bounds", {"R50,10"}, 50, 50, 50, {50});
		row("user steps", {"R0,100", "V10", "K", "K"}, 12, 0, 100, {10, 11, 12});
	}
}

void TestControlWidgets::sliderValue()
{
	QFETCH(QString, kind);
	QFETCH(QStringList, script);
	QFETCH(int, value);
	QFETCH(int, minimum);
	QFETCH(int, maximum);
	QFETCH(QVariantList, emitted);

	auto widget = makeWidget(kind);
	auto *zoom = qobject_cast<KVZoomVerticalSlider *>(widget.get());
	auto *focus = qobject_cast<KVFocusVerticalSlider *>(widget.get());
	auto *slider = child<QSlider>(*widget, zoom ? "ZoomSlider" : "FocusSlider");
	QSignalSpy spy(widget.get(), SIGNAL(valueChanged(int)));

	for (const QString &step : script) {
		const QString arg = step.mid(1);
		if (step.startsWith('R')) {
			const int min = arg.section(',', 0, 0).toInt(), max = arg.section(',', 1, 1).toInt();
			zoom ? zoom->setMinMaxValue(min, max) : focus->setMinMaxValue(min, max);
		} else if (step.startsWith('V')) {
			zoom ? zoom->setValue(arg.toInt()) : focus->setValue(arg.toInt());
		} else {
			// The operator moves the slider one step.
			QTest::keyClick(slider, Qt::Key_Up);
		}
	}

	QCOMPARE(slider->value(), value);
	QCOMPARE(slider->minimum(), minimum);
	QCOMPARE(slider->maximum(), maximum);
	QVariantList values;
	for (const auto &args : spy)
		values << args.at(0);
	QCOMPARE(values, emitted);
}

void TestControlWidgets::afMode_data()
{
	QTest::addColumn<bool>("startAuto");
	QTest::addColumn<QString>("action");
	QTest::addColumn<bool>("blocked");
	QTest::addColumn<bool>("checked");
	QTest::addColumn<QVariantList>("modes");

	const auto row = [](const char *name, bool startAuto, const char *action, bool blocked, bool checked,
			    QVariantList modes) {
		QTest::newRow(name) << startAuto << QString(action) << blocked << checked << modes;
	};
	const int manual = KVFocusVerticalSlider::Manual, automatic = KVFocusVerticalSlider::Auto;
	row("click from manual", false, "click", false, true, {automatic});
	row("click from auto", true, "click", false, false, {manual});
	row("updateUI auto from manual", false, "auto", false, true, {automatic});
	row("updateUI manual from auto", true, "manual", false, false, {manual});
	row("updateUI auto when auto", true, "auto", false, true, {});
	row("updateUI manual when manual", false, "manual", false, false, {});
	row("updateUI auto while blocked", false, "auto", true, true, {});
	row("updateUI manual while blocked", true, "manual", true, false, {});
	// An unknown mode only checks the button; its toggle handler then applies auto focus.
	row("unknown mode from manual", false, "other", false, true, {automatic});
	row("unknown mode when auto", true, "other", false, true, {});
}

void TestControlWidgets::afMode()
{
	QFETCH(bool, startAuto);
	QFETCH(QString, action);
	QFETCH(bool, blocked);
	QFETCH(bool, checked);
	QFETCH(QVariantList, modes);

	KVFocusVerticalSlider focus;
	focus.show();
	if (startAuto)
		focus.updateUI(KVFocusVerticalSlider::Auto);
	auto *af = child<QPushButton>(focus, "AFButton");
	QCOMPARE(af->isChecked(), startAuto);

	QSignalSpy spy(&focus, &KVFocusVerticalSlider::modeChanged);
	focus.blockSignals(blocked);
	if (action == QLatin1String("click"))
		QTest::mouseClick(af, Qt::LeftButton);
	else if (action == QLatin1String("auto"))
		focus.updateUI(KVFocusVerticalSlider::Auto);
	else if (action == QLatin1String("manual"))
		focus.updateUI(KVFocusVerticalSlider::Manual);
	else
		focus.updateUI(static_cast<KVFocusVerticalSlider::AFMode>(2));
	focus.blockSignals(false);

	QCOMPARE(af->isChecked(), checked);
	// Manual steps are usable exactly while the camera is in manual focus.
	for (const char *name : {"FocusPlusButton", "FocusMinusButton"})
		QCOMPARE(child<QPushButton>(focus, name)->isEnabled(), !checked);
	QCOMPARE(child<QSlider>(focus, "FocusSlider")->isEnabled(), !checked);
	QVariantList seen;
	for (const auto &args : spy)
		seen << args.at(0).toInt();
	QCOMPARE(seen, modes);
}

void TestControlWidgets::sliderBackground()
{
	// Both columns draw themselves as one rounded panel in the host palette's button colour with no outline,
	// leaving the corners to the window behind them.
	for (const QString &kind : {QStringLiteral("zoom"), QStringLiteral("focus")}) {
		auto widget = makeWidget(kind);
		widget->setAttribute(Qt::WA_TranslucentBackground);
		const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
		const QColor panel = QApplication::palette().color(QPalette::Button);
		QVERIFY2(areaHasColour(image, QRect(image.width() / 2, 1, 1, 1), panel), qPrintable(kind));
		QVERIFY2(areaHasColour(image, QRect(1, image.height() / 2, 1, 1), panel), qPrintable(kind));
		QVERIFY2(!areaHasColour(image, QRect(0, 0, 2, 2), panel), qPrintable(kind));
		QVERIFY2(!areaHasColour(image, QRect(image.width() - 2, image.height() - 2, 2, 2), panel),
			 qPrintable(kind));
	}
}

// ---- Artwork ------------------------------------------------------------------------------------------------

// Every picture the forms' style sheets name is compiled in (everyResourceRenders shows that each renders).
void TestControlWidgets::formImagesExist()
{
	for (const char *kind : {"zoom", "focus", "about"}) {
		auto widget = makeWidget(QString::fromLatin1(kind));
		const QStringList urls = imageUrls(*widget);
		QVERIFY2(!urls.isEmpty(), kind);
		for (const QString &url : urls)
			QVERIFY2(url.startsWith(QLatin1String(":/resource/images/")) && QFile::exists(url),
				 qPrintable(url));
	}
}

void TestControlWidgets::buttonArtworkFollowsState_data()
{
	QTest::addColumn<QString>("kind");
	QTest::addColumn<QString>("button");
	QTest::addColumn<QString>("state");
	QTest::addColumn<QColor>("colour");

	const auto row = [](const char *kind, const char *button, const char *state, QColor colour) {
		QTest::addRow("%s %s", button, state) << QString(kind) << QString(button) << QString(state) << colour;
	};
	const QColor normal(0x52, 0x52, 0x52), pressed(0x7B, 0xB0, 0xB7), disabled(0x4B, 0x4B, 0x4B);
	for (const char *button : {"ZoomPlusButton", "ZoomMinusButton", "FocusPlusButton", "FocusMinusButton"}) {
		const char *kind = button[0] == 'Z' ? "zoom" : "focus";
		row(kind, button, "normal", normal);
		row(kind, button, "pressed", pressed);
		row(kind, button, "disabled", disabled);
	}
	row("focus", "AFButton", "normal", normal);
	row("focus", "AFButton", "pressed", pressed);
	// The AF button keeps the manual picture when disabled, and lights its letters when checked.
	row("focus", "AFButton", "disabled", normal);
	row("focus", "AFButton", "checked", pressed);
}

void TestControlWidgets::buttonArtworkFollowsState()
{
	QFETCH(QString, kind);
	QFETCH(QString, button);
	QFETCH(QString, state);
	QFETCH(QColor, colour);

	auto widget = makeWidget(kind);
	widget->show();
	QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
	auto *pushButton = child<QPushButton>(*widget, button.toLatin1().constData());
	if (state == QLatin1String("pressed"))
		pushButton->setDown(true);
	else if (state == QLatin1String("disabled"))
		pushButton->setEnabled(false);
	else if (state == QLatin1String("checked"))
		pushButton->setChecked(true);

	const QImage image = pushButton->grab().toImage().convertToFormat(QImage::Format_ARGB32);
	const QPoint centre = image.rect().center();
	if (state == QLatin1String("checked")) {
		// The checked picture differs in the letters only: look along the stem of the "F".
		QVERIFY(areaHasColour(image, QRect(centre.x() + 1, centre.y() - 4, 4, 8), colour));
	} else {
		// The tile fill shows just inside the top edge of the picture.
		QVERIFY(areaHasColour(image, QRect(centre.x() - 2, centre.y() - 15, 4, 3), colour));
	}
}

void TestControlWidgets::everyResourceRenders()
{
	int count = 0;
	QDirIterator it(QStringLiteral(":/resource/images"), QDir::Files, QDirIterator::Subdirectories);
	while (it.hasNext()) {
		const QString path = it.next();
		QVERIFY2(path.endsWith(QLatin1String(".svg")), qPrintable(path));
		QSvgRenderer renderer(path);
		QVERIFY2(renderer.isValid(), qPrintable(path));
		QImage image(renderer.defaultSize(), QImage::Format_ARGB32);
		image.fill(Qt::transparent);
		QPainter painter(&image);
		renderer.render(&painter);
		painter.end();
		// Something visible was drawn.
		bool painted = false;
		for (int y = 0; y < image.height() && !painted; ++y)
			for (int x = 0; x < image.width() && !painted; ++x)
				painted = qAlpha(image.pixel(x, y)) > 0;
		QVERIFY2(painted, qPrintable(path));
		++count;
	}
	QVERIFY(count >= 69);
}

QTEST_MAIN(TestControlWidgets)
#include "tst_controlWidgets.moc"
