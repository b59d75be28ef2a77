// How long the controller window holds the UI thread during each camera operation, beside how long the camera
// side of the same operation took. The real widgets are driven against simulated cameras; a 1 ms timer on the UI
// thread records the largest gap between its ticks while an operation runs: that gap is the longest time OBS's
// own window could not have answered. An idle stretch of the same length is measured first for comparison.
//
// Operations: direction press and release, preset CALL, preset STORE, a panel change, connect to a live camera,
// connect to a silent address, a search finding four cameras (one of a family that ignores the address-set
// probe), and a watchdog tick that gives up a silent camera. Goal: every longest hold under 16 ms (a frame at
// 60 Hz).
//
// Sends only to 127.0.0.x; every loop is bounded.

#include "BenchSupport.h"
#include "MainDialogTestSupport.h"
#include "CameraSimulator.h"
#include "SimFleet.h"
#include "control/CameraWorker.h"
#include "ui/DiscoveryDialog.h"
#include "discovery/OnvifDiscovery.h"
#include "settings/Utils.h"
#include "ui/MainDialog.h"
#include "ui/ModalBox.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonObject>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kRepeats = 5;
constexpr double kFrameMs = 16.0;
constexpr int kOperationTimeoutMs = 20000;

const char *const kLiveA = "127.0.0.97";
const char *const kLiveB = "127.0.0.98";
const char *const kSilent = "127.0.0.99"; // nothing listens here
const char *const kFleetFirst = "127.0.0.101";

// The largest gap between the ticks of a 1 ms timer on the UI thread, while armed.
class HoldProbe : public QObject {
public:
	HoldProbe()
	{
		timer.setTimerType(Qt::PreciseTimer);
		timer.setInterval(1);
		QObject::connect(&timer, &QTimer::timeout, this, [this]() {
			const qint64 now = clock.nsecsElapsed();
			largestGap = std::max(largestGap, now - lastTick);
			lastTick = now;
		});
	}
	void arm()
	{
		largestGap = 0;
		clock.start();
		lastTick = 0;
		timer.start();
	}
	double disarmMs()
	{
		timer.stop();
		// The stretch since the last tick counts too.
		largestGap = std::max(largestGap, clock.nsecsElapsed() - lastTick);
		return largestGap / 1e6;
	}

private:
	QTimer timer;
	QElapsedTimer clock;
	qint64 lastTick = 0;
	qint64 largestGap = 0;
};

struct Figures {
	const char *name;
	std::vector<double> holdMs;
	std::vector<double> cameraMs;
};

// Runs the event loop until `done` holds (checked every millisecond), bounded.
bool runUntil(const std::function<bool()> &done)
{
	QEventLoop loop;
	QTimer check;
	check.setInterval(1);
	QObject::connect(&check, &QTimer::timeout, &loop, [&]() {
		if (done())
			loop.quit();
	});
	QTimer::singleShot(kOperationTimeoutMs, &loop, &QEventLoop::quit);
	check.start();
	loop.exec();
	return done();
}

bool measure(HoldProbe &probe, Figures &figures, const std::function<void()> &start, const std::function<bool()> &done)
{
	QElapsedTimer clock;
	probe.arm();
	clock.start();
	start();
	const bool finished = runUntil(done);
	figures.cameraMs.push_back(clock.nsecsElapsed() / 1e6);
	figures.holdMs.push_back(probe.disarmMs());
	if (!finished)
		std::fprintf(stderr, "%s did not finish within %d ms\n", figures.name, kOperationTimeoutMs);
	return finished;
}

template <typename T>
T *child(QObject *parent, const char *name)
{
	T *found = parent->findChild<T *>(QString::fromLatin1(name));
	if (!found)
		qFatal("no %s", name);
	return found;
}

bool idle(const MainDialog &window)
{
	const CameraWorker *worker = window.activeCameraWorker();
	return window.connectingSlotNumber() == 0 && (!worker || worker->isIdle());
}

std::unique_ptr<CameraSimulator> startCamera(const char *address, const char *model)
{
	CameraSimulator::Options options;
	options.address = QHostAddress(QString::fromLatin1(address));
	options.model = QString::fromLatin1(model);
	options.discovery = false;
	auto camera = std::make_unique<CameraSimulator>(options);
	QString error;
	if (!camera->start(&error))
		qFatal("camera at %s: %s", address, qPrintable(error));
	return camera;
}

void useCameraOptions(int watchdogIntervalMs)
{
	CameraWorker::Options options;
	options.watchdogIntervalMs = watchdogIntervalMs;
	options.probeIntervalMs = 3600 * 1000;
	ControlledWindowSupport::options().cameras = options;
}

void report(const Figures &figures, bool &allWithinFrame)
{
	const double worst = *std::max_element(figures.holdMs.begin(), figures.holdMs.end());
	allWithinFrame = allWithinFrame && worst < kFrameMs;
	std::printf("%-28s longest UI hold %6.1f ms (median %5.1f)   camera side %7.1f ms (median)\n", figures.name,
		    worst, bench::medianOf(figures.holdMs), bench::medianOf(figures.cameraMs));
}

} // namespace

int main(int argc, char **argv)
{
	QTemporaryDir home; // settings of our own, never the user's
	qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
	qputenv("QT_QPA_PLATFORM", "offscreen");
	qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
	qputenv(OnvifDiscovery::kAddressVariable, kFleetFirst);
	QApplication app(argc, argv);
	QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\nkavren.*.info=false"));
	qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
		if (type >= QtWarningMsg && !message.startsWith(QLatin1String("ini Not")))
			std::fprintf(stderr, "%s\n", qPrintable(message));
	});
	ModalBox::setAnswerer([](QMessageBox &) {});
	if (!loadLocale())
		qFatal("the shipped locale file did not load");

	const auto liveA = startCamera(kLiveA, "NX-B93K");
	const auto liveB = startCamera(kLiveB, "NX-F64");
	SimFleet::Options fleetOptions;
	fleetOptions.cameras = SimFleet::consecutive(4, QHostAddress(QString::fromLatin1(kFleetFirst)),
						     {"NX-B93K", "NX-D26G", "NX-ZQ418", "NX-HX7"});
	SimFleet fleet(fleetOptions);
	QString error;
	if (!fleet.start(&error))
		qFatal("fleet: %s", qPrintable(error));

	QJsonObject settings{{QStringLiteral("Camera1IP"), QString::fromLatin1(kLiveA)},
			     {QStringLiteral("Camera2IP"), QString::fromLatin1(kSilent)},
			     {QStringLiteral("Camera3IP"), QString::fromLatin1(kLiveB)}};
	if (!Utils::writeJSONToFile(settings, Utils::getAppDataPath()))
		qFatal("could not write the settings");

	MainDialogTest::useLoopbackRelay();
	useCameraOptions(3600 * 1000);

	auto window = std::make_unique<ControlledWindow>();
	window->show();
	window->showAdvanceView();
	HoldProbe probe;
	bool ok = true;
	bool allWithinFrame = true;

	Figures idleFigures{"idle (for comparison)", {}, {}};
	for (int i = 0; i < kRepeats; ++i) {
		QElapsedTimer spell;
		spell.start();
		ok = measure(probe, idleFigures, [] {}, [&spell]() { return spell.elapsed() >= 200; }) && ok;
	}

	Figures connectLive{"connect to a live camera", {}, {}};
	for (int i = 0; i < kRepeats; ++i) {
		// Slots 1 and 3 in turn, so every click is a switch to another camera.
		QPushButton *slot = child<QPushButton>(window.get(), i % 2 ? "Camera3Button" : "Camera1Button");
		ok = measure(
			     probe, connectLive, [slot]() { QTest::mouseClick(slot, Qt::LeftButton); },
			     [&]() { return idle(*window) && slot->isChecked(); }) &&
		     ok;
	}
	if (!child<QPushButton>(window.get(), "Camera1Button")->isChecked())
		QTest::mouseClick(child<QPushButton>(window.get(), "Camera1Button"), Qt::LeftButton);
	runUntil([&]() { return idle(*window); });

	Figures connectSilent{"connect to a silent address", {}, {}};
	for (int i = 0; i < kRepeats; ++i) {
		QPushButton *slot = child<QPushButton>(window.get(), "Camera2Button");
		ok = measure(
			     probe, connectSilent, [slot]() { QTest::mouseClick(slot, Qt::LeftButton); },
			     [&]() { return idle(*window); }) &&
		     ok;
	}

	Figures press{"direction press and release", {}, {}};
	QPushButton *up = child<QPushButton>(window.get(), "UpButton");
	for (int i = 0; i < kRepeats; ++i) {
		ok = measure(
			     probe, press,
			     [up]() {
				     QTest::mousePress(up, Qt::LeftButton);
				     QTest::mouseRelease(up, Qt::LeftButton);
			     },
			     [&]() { return idle(*window); }) &&
		     ok;
	}

	Figures call{"preset CALL", {}, {}};
	for (int i = 0; i < kRepeats; ++i) {
		QTest::mouseClick(child<QPushButton>(window.get(), "Preset2Button"), Qt::LeftButton);
		QWidget *zoom = child<QWidget>(window.get(), "ZoomWidget");
		ok = measure(
			     probe, call,
			     [&]() {
				     QTest::mouseClick(child<QPushButton>(window.get(), "CallButton"), Qt::LeftButton);
			     },
			     [&]() { return idle(*window) && zoom->isEnabled(); }) &&
		     ok;
	}

	Figures store{"preset STORE", {}, {}};
	for (int i = 0; i < kRepeats; ++i) {
		QTest::mouseClick(child<QPushButton>(window.get(), "Preset3Button"), Qt::LeftButton);
		ok = measure(
			     probe, store,
			     [&]() {
				     QTest::mouseClick(child<QPushButton>(window.get(), "StoreButton"), Qt::LeftButton);
			     },
			     [&]() { return idle(*window); }) &&
		     ok;
	}

	Figures panel{"panel change (exposure mode)", {}, {}};
	auto *exposure = child<QComboBox>(window.get(), "ExposureModeBox");
	QWidget *exposureBox = child<QWidget>(window.get(), "ExposureBox");
	for (int i = 0; i < kRepeats; ++i) {
		const int next = (exposure->currentIndex() + 1) % std::max(1, exposure->count());
		ok = measure(
			     probe, panel, [&]() { exposure->setCurrentIndex(next); },
			     [&]() { return idle(*window) && exposureBox->isEnabled(); }) &&
		     ok;
	}

	Figures search{"search, four cameras", {}, {}};
	for (int i = 0; i < kRepeats; ++i) {
		DiscoveryDialog dialog;
		dialog.show();
		auto *button = child<QPushButton>(&dialog, "SearchButton");
		ok = measure(
			     probe, search, [button]() { QTest::mouseClick(button, Qt::LeftButton); },
			     [&dialog]() { return !dialog.isSearching(); }) &&
		     ok;
	}
	window.reset();

	Figures watchdog{"watchdog tick, silent camera", {}, {}};
	useCameraOptions(300);
	for (int i = 0; i < kRepeats; ++i) {
		liveA->setSilent(false);
		ControlledWindow watched;
		watched.show();
		QPushButton *slot = child<QPushButton>(&watched, "Camera1Button");
		QTest::mouseClick(slot, Qt::LeftButton);
		if (!runUntil([&]() { return idle(watched) && slot->isChecked(); }))
			qFatal("the watched window did not connect");
		ok = measure(
			     probe, watchdog, [&]() { liveA->setSilent(true); },
			     [slot]() { return !slot->isChecked(); }) &&
		     ok;
	}
	liveA->setSilent(false);

	std::printf("The UI thread's longest hold per operation (%d runs each), beside the camera side:\n", kRepeats);
	for (const Figures *figures :
	     {&idleFigures, &press, &call, &store, &panel, &connectLive, &connectSilent, &search, &watchdog})
		report(*figures, allWithinFrame);
	std::printf("every longest hold under %.0f ms: %s\n", kFrameMs, allWithinFrame ? "yes" : "no");
	return ok ? 0 : 1;
}
