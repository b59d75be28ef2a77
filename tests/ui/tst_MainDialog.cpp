// The controller window: its menus, About dialog, the connect flow against simulated cameras, the status line, the
// command wrappers, the hotkey commands and the connection watchdog.

#include "MainDialogTestSupport.h"
#include "control/CameraPool.h"
#include "ui/DiscoveryDialog.h"
#include "ui/AboutDialog.h"
#include "ui/MainDialog.h"
#include "ui/ModalBox.h"
#include "ui/PanTiltLimitSettingDialog.h"
#include "ui/RelayDialog.h"
#include "ui/ScenePresetDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

using namespace MainDialogTest;

namespace {

// Addresses of this test's cameras; nothing listens on kSilentAddress.
const char *const kB93Address = "127.0.0.61";
const char *const kW38Address = "127.0.0.62";
const char *const kJ57Address = "127.0.0.63";
const char *const kSilentAddress = "127.0.0.64";

const QString kShippedProfiles = QStringLiteral(KAVREN_SOURCE_DIR "/data/ini/");

void setProfileDir(const QString &dir)
{
	qputenv("KAVREN_PROFILE_DIR", dir.toUtf8());
}

// The workers of the windows made from now on: no watchdog unless a test asks for one.
void useWatchdog(int intervalMs, int probeIntervalMs = 2000)
{
	CameraWorker::Options options;
	options.watchdogIntervalMs = intervalMs;
	options.probeIntervalMs = probeIntervalMs;
	ControlledWindowSupport::options().cameras = options;
}

QList<QWidget *> visibleWindows(const char *className)
{
	QList<QWidget *> found;
	for (QWidget *widget : QApplication::topLevelWidgets())
		if (widget->inherits(className) && widget->isVisible())
			found << widget;
	return found;
}

const QString kB93InUse = QStringLiteral("Camera 1 · 127.0.0.61 · NX-B93K");

} // namespace

class tst_MainDialog : public QObject {
	Q_OBJECT

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		QVERIFY(loadWindowLocale());
		QVERIFY(profiles.isValid());
		setProfileDir(kShippedProfiles);
		installModalAnswerer();
		useWatchdog(3600 * 1000);
		b93 = startCamera(kB93Address, "NX-B93K");
		w38 = startCamera(kW38Address, "NX-W38B");
		j57 = startCamera(kJ57Address, "NX-J57");
	}

	void init()
	{
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), QString::fromLatin1(kB93Address)},
						{QStringLiteral("Camera2IP"), QString::fromLatin1(kW38Address)},
						{QStringLiteral("Camera2NickName"), QStringLiteral("Stage Left")}});
		boxTexts().clear();
		for (CameraSimulator *camera : {b93.get(), w38.get(), j57.get()}) {
			camera->setSilent(false);
			clearWhenQuiet(*camera);
		}
	}

	void cleanup()
	{
		dialog.reset();
		setProfileDir(kShippedProfiles);
		useWatchdog(3600 * 1000);
	}

	void cleanupTestCase()
	{
		ModalBox::setAnswerer(nullptr);
		verifyEveryLookedUpKeyIsInTheLocale();
	}

	// Every picture the forms' style sheets name, the About dialog's too, is compiled in.
	void styleSheetImagesExist()
	{
		makeDialog();
		AboutDialog about;
		static const QRegularExpression url(QStringLiteral("url\\(\\s*\"?([^\")]+)\"?\\s*\\)"));
		QSet<QString> images;
		const QList<QWidget *> forms = dialog->findChildren<QWidget *>() + about.findChildren<QWidget *>()
					       << &about;
		for (QWidget *widget : forms) {
			auto it = url.globalMatch(widget->styleSheet());
			while (it.hasNext())
				images.insert(it.next().captured(1));
		}
		// Pad (27), scenes (12) and what the control widgets and the About dialog bring.
		QVERIFY2(images.size() >= 45, qPrintable(QString::number(images.size())));
		for (const QString &image : std::as_const(images)) {
			QVERIFY2(image.startsWith(QLatin1String(":/resource/images/")), qPrintable(image));
			QVERIFY2(QFile::exists(image), qPrintable(image));
		}
		for (const char *scene : {"Indoor", "Motion", "Low Light", "Back Light"})
			QVERIFY(images.contains(QStringLiteral(":/resource/images/Advanced Mode/%1_p.svg").arg(scene)));
	}

	void slotCaptionsFollowTheSettings()
	{
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera3NickName"), QStringLiteral("Pulpit")},
						{QStringLiteral("Camera8NickName"), QStringLiteral("Choir")}});
		makeDialog();
		const QStringList expected =
			QStringLiteral("Camera 1,Camera 2,Pulpit,Camera 4,Camera 5,Camera 6,Camera 7,Choir")
				.split(QLatin1Char(','));
		for (int slot = 1; slot <= 8; ++slot)
			QCOMPARE(button(QStringLiteral("Camera%1Button").arg(slot))->text(), expected.at(slot - 1));

		// A slot assigned in the assignment dialog shows its caption at once, read from the file.
		child<QAction>("CameraAssignAction")->trigger();
		auto *assign = qobject_cast<DiscoveryDialog *>(visibleWindows("DiscoveryDialog").value(0));
		QVERIFY(assign);
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera5NickName"), QStringLiteral("Balcony")}});
		emit assign->ipAssigned(4, QStringLiteral("ignored"), QStringLiteral("ignored"));
		QCOMPARE(button(QStringLiteral("Camera5Button"))->text(), QStringLiteral("Balcony"));
		QCOMPARE(button(QStringLiteral("Camera3Button"))->text(), QStringLiteral("Camera 3"));
		assign->close();
	}

	// Each entry opens one dialog however often it is chosen (the assignment dialog a window of its own beside the
	// controller); closing deletes it, and the entry then opens a fresh one.
	void menuEntriesOpenOneDialogEach()
	{
		makeDialog();
		const std::pair<const char *, const char *> entries[] = {{"CameraAssignAction", "DiscoveryDialog"},
									 {"AboutAction", "AboutDialog"}};
		for (const auto &[action, className] : entries) {
			child<QAction>(action)->trigger();
			child<QAction>(action)->trigger();
			const QList<QWidget *> open = visibleWindows(className);
			QVERIFY2(open.size() == 1, action);
			const QPointer<QWidget> closed = open.first();
			closed->close();
			QTRY_VERIFY2(closed.isNull(), action);
			child<QAction>(action)->trigger();
			QVERIFY2(visibleWindows(className).size() == 1, action);
		}
		QVERIFY(!visibleWindows("DiscoveryDialog").first()->parentWidget());
		QVERIFY(boxTexts().isEmpty());
	}

	void limitDialogFollowsTheConnection()
	{
		makeDialog();
		QAction *limits = child<QAction>("PanTiltLimitAction");
		QVERIFY(!limits->isEnabled());
		QVERIFY(clickSlot(1));
		QVERIFY(limits->isEnabled());
		limits->trigger();
		limits->trigger();
		QCOMPARE(dialog->findChildren<PanTiltLimitSettingDialog *>().size(), 1);
		auto *limitDialog = dialog->findChild<PanTiltLimitSettingDialog *>();
		QVERIFY(limitDialog->isVisible());

		// Its limits belong to the camera in use: leaving the camera closes it.
		QVERIFY(!clickSlot(1));
		QVERIFY(!limitDialog->isVisible());
		QVERIFY(!limits->isEnabled());
	}

	void windowFollowsTheHostPalette_data()
	{
		QTest::addColumn<QColor>("window");
		QTest::newRow("light") << QColor(211, 211, 211);
		QTest::newRow("dark") << QColor(31, 33, 42);
	}

	// The window, its buttons, its status frame, its text and the scene table take the host's light or dark
	// colours, and text stays readable on them: 4.5:1 at least (WCAG's minimum for text), 3:1 for the options of
	// the relay dialog while the relay is off.
	void windowFollowsTheHostPalette()
	{
		QFETCH(QColor, window);
		const QPalette before = QApplication::palette();
		QApplication::setPalette(QPalette(window));
		const auto restore = qScopeGuard([before] { QApplication::setPalette(before); });
		makeDialog();
		ScenePresetDialog scenes(dialog->cameraPool(), nullptr);
		const bool light = window.lightness() > 128;
		for (QWidget *part : {static_cast<QWidget *>(dialog.get()), child<QWidget>("Preset1Button"),
				      child<QWidget>("StatusFrame"), scenes.findChild<QTableWidget *>()->viewport()}) {
			const QColor shown = part->grab().toImage().pixelColor(part->width() / 2, 2);
			QVERIFY2((shown.lightness() > 128) == light, qPrintable(shown.name()));
		}
		QCOMPARE(child<QLabel>("ConnectionLabel")->palette().color(QPalette::Text).lightness() > 128, !light);

		auto *message = child<QLabel>("MessageLabel");
		message->setText(QStringLiteral("Stage is not answering"));
		message->setProperty("severity", QStringLiteral("warning"));
		message->style()->polish(message);
		RelayDialog relay(dialog->controller()->relay());
		auto *warning = relay.findChild<QLabel *>(QStringLiteral("OpenWarningLabel"));
		warning->setVisible(true);
		relay.findChild<QCheckBox *>(QStringLiteral("RelayEnabledCheck"))->setChecked(false);
		relay.adjustSize();
		QApplication::processEvents(); // the labels take the size of their new texts
		const std::pair<QWidget *, double> texts[] = {
			{message, 4.5},
			{child<QPushButton>("Camera2Button"), 4.5},
			{warning, 4.5},
			{relay.findChild<QWidget *>(QStringLiteral("ListenAllRadio")), 3.0},
			{relay.findChild<QWidget *>(QStringLiteral("OriginsLabel")), 3.0}};
		for (const auto &[text, least] : texts)
			QVERIFY2(drawnContrast(text) >= least, qPrintable(text->objectName()));
	}

	void commandsNeedACamera()
	{
		makeDialog();
		bool ran = false;
		CameraCommand probe;
		probe.name = "probe";
		probe.run = [&ran](viscaIpModule &, int) { ran = true; };
		QVERIFY(!dialog->setCommand(probe, 3));
		QVERIFY(!dialog->setCommand(CameraCommands::move(CameraCommands::Direction::Up), 0));
		QVERIFY(!dialog->activeCameraWorker());

		// Pressing the disabled pad sends nothing either; the camera then hears the first command of a connect.
		QTest::mouseClick(button(QStringLiteral("UpButton")), Qt::LeftButton);
		QVERIFY(clickSlot(1));
		QVERIFY(!ran);
		QVERIFY(!commandPayloads(*b93).contains(QStringLiteral("8101060107070301ff")));
	}

	void connectAndDeselect()
	{
		makeDialog();
		QVERIFY(clickSlot(1));
		verifyB93InUse();
		QCOMPARE(child<QLabel>("MessageLabel")->text(), QString());
		CameraWorker *worker = dialog->activeCameraWorker();
		QVERIFY(worker);

		// Deselecting the slot in use: controls off, nothing checked, nothing more sent; the slot's worker
		// stays.
		QVERIFY(!clickSlot(1));
		verifyNoCameraInUse();
		QCOMPARE(child<QLabel>("MessageLabel")->text(), QString());
		QVERIFY(boxTexts().isEmpty());
		QVERIFY(!dialog->setCommand(CameraCommands::move(CameraCommands::Direction::Up), 0));
		QVERIFY(clickSlot(1));
		QCOMPARE(dialog->activeCameraWorker(), worker);
	}

	void connectFailures_data()
	{
		QTest::addColumn<int>("slot");
		QTest::addColumn<QString>("address");
		QTest::addColumn<QString>("profile");   // "shipped", "missing" or "broken"
		QTest::addColumn<bool>("connectFirst"); // connect slot 1 before the failing attempt
		QTest::addColumn<QString>("message");

		const QString silent = QString::fromLatin1(kSilentAddress), j57 = QString::fromLatin1(kJ57Address);
		const QString noAddress = localeText("StatusNoAddress").arg(QStringLiteral("Camera 5"));
		const QString notIdentified = localeText("StatusNotIdentified").arg(silent);
		const QString noProfile = localeText("StatusNoProfile").arg(QStringLiteral("NX-J57"), j57);
		QTest::newRow("no address stored") << 5 << QString() << "shipped" << false << noAddress;
		QTest::newRow("camera not answering while connected")
			<< 6 << silent << "shipped" << true << notIdentified;
		QTest::newRow("camera not answering") << 6 << silent << "shipped" << false << notIdentified;
		QTest::newRow("model without profile") << 7 << j57 << "missing" << false << noProfile;
		QTest::newRow("model with unusable profile") << 7 << j57 << "broken" << true << noProfile;
	}

	void connectFailures()
	{
		QFETCH(int, slot);
		QFETCH(QString, address);
		QFETCH(QString, profile);
		QFETCH(bool, connectFirst);
		QFETCH(QString, message);

		if (!address.isEmpty()) {
			QJsonObject settings = SettingsHome::read();
			settings[QStringLiteral("Camera%1IP").arg(slot)] = address;
			SettingsHome::write(settings);
		}
		makeDialog();
		if (connectFirst)
			QVERIFY(clickSlot(1));

		const QString dir = profiles.path() + QLatin1Char('/') + profile;
		if (profile != QLatin1String("shipped")) {
			QVERIFY(QDir().mkpath(dir));
			QFile::remove(dir + QStringLiteral("/NX-J57.ini"));
			if (profile == QLatin1String("broken")) {
				QFile broken(dir + QStringLiteral("/NX-J57.ini"));
				QVERIFY(broken.open(QIODevice::WriteOnly));
				broken.write("{ \"cam_zoom\": [ this is not a profile");
			}
			setProfileDir(dir);
		}

		QVERIFY(!clickSlot(slot));
		QCOMPARE(child<QLabel>("MessageLabel")->text(), message);
		// A failed switch leaves the camera in use in use.
		if (connectFirst)
			verifyB93InUse();
		else
			verifyNoCameraInUse();

		// One message, in the status frame, shown as a warning; no box contradicts it.
		QCOMPARE(child<QLabel>("MessageLabel")->property("severity").toString(), QStringLiteral("warning"));
		QVERIFY(boxTexts().isEmpty());
	}

	void aReleaseStopsWhatItsPressStarted()
	{
		makeDialog();
		const auto hotkey = [this](int row, bool pressed) { dialog->controller()->onHotkey(row, pressed); };
		QVERIFY(clickSlot(1));
		QVERIFY(clearWhenQuiet(*b93));
		QTest::mousePress(button(QStringLiteral("UpButton")), Qt::LeftButton);
		hotkey(4, true); // zoom in
		QTRY_COMPARE(commandPayloads(*b93).size(), 2);

		// The operator switches to the other camera, then lets go of the button and the key.
		QVERIFY(clickSlot(2));
		QVERIFY(clearWhenQuiet(*w38));
		QTest::mouseRelease(button(QStringLiteral("UpButton")), Qt::LeftButton);
		hotkey(4, false);
		QTRY_COMPARE(commandPayloads(*b93).size(), 4);
		QCOMPARE(sent(commandPayloads(*b93).mid(2)),
			 sent({QStringLiteral("8101060107070303ff"), QStringLiteral("8101040700ff")}));
		QVERIFY(cameraSettled(dialog.get()));
		QCOMPARE(receivedBeforeMarker(*w38), 0);

		// A key held while the slot is let go of is stopped too.
		hotkey(5, true); // zoom out
		QTRY_COMPARE(commandPayloads(*w38).size(), 1);
		QTest::mouseClick(button(QStringLiteral("Camera2Button")), Qt::LeftButton);
		QVERIFY(checkedSlots().isEmpty());
		hotkey(5, false);
		QTRY_COMPARE(commandPayloads(*w38).size(), 2);
		QCOMPARE(commandPayloads(*w38).last(), QStringLiteral("8101040700ff"));
	}

	void switchingCamerasReplacesTheLink()
	{
		makeDialog();
		QVERIFY(clickSlot(1));
		QVERIFY(clickSlot(2));
		QCOMPARE(checkedSlots(), QList<int>{2});
		QCOMPARE(child<QLabel>("ConnectionLabel")->text(),
			 localeText("StatusConnected")
				 .arg(QStringLiteral("Stage Left"), QString::fromLatin1(kW38Address),
				      QStringLiteral("NX-W38B")));
		// The W38B's preset speed list is its own.
		QCOMPARE(child<QComboBox>("PresetSpeedBox")->itemText(0), QStringLiteral("2 °/s"));

		clearWhenQuiet(*b93);
		clearWhenQuiet(*w38);
		QTest::mousePress(button(QStringLiteral("DownButton")), Qt::LeftButton);
		QTRY_COMPARE(w38->state().motion, SimCameraState::Motion::Down);
		QTest::mouseRelease(button(QStringLiteral("DownButton")), Qt::LeftButton);
		QTRY_COMPARE(w38->state().motion, SimCameraState::Motion::Stop);
		QCOMPARE(receivedBeforeMarker(*b93), 0);

		// Back to the first camera: a fresh identification, a fresh link.
		QVERIFY(clickSlot(1));
		QCOMPARE(checkedSlots(), QList<int>{1});
		QCOMPARE(child<QComboBox>("PresetSpeedBox")->itemText(0), QStringLiteral("5 °/s"));
		QVERIFY(boxTexts().isEmpty());

		// The slot is given the other camera, and a scene recalls a preset on it before the window is clicked:
		// the window follows the link that was made anew and drives the new camera with its own model's ranges.
		QJsonObject settings = SettingsHome::read();
		settings[QStringLiteral("Camera1IP")] = QString::fromLatin1(kW38Address);
		SettingsHome::write(settings);
		QVERIFY(dialog->cameraPool()->door(1)->callPreset(2, CameraCaller{CameraOrigin::Scene}).ok);
		QTRY_COMPARE_WITH_TIMEOUT(child<QComboBox>("PresetSpeedBox")->itemText(0), QStringLiteral("2 °/s"),
					  10000);
		QCOMPARE(checkedSlots(), QList<int>{1});
		QVERIFY(child<QLabel>("ConnectionLabel")->text().contains(QStringLiteral("NX-W38B")));
	}

	void connectingShowsAndASecondClickWins()
	{
		QJsonObject settings = SettingsHome::read();
		settings[QStringLiteral("Camera6IP")] = QString::fromLatin1(kSilentAddress);
		SettingsHome::write(settings);
		makeDialog();

		// The click returns at once; the slot shows that it is being connected.
		QTest::mouseClick(button(QStringLiteral("Camera6Button")), Qt::LeftButton);
		QCOMPARE(dialog->connectingSlotNumber(), 6);
		QVERIFY(button(QStringLiteral("Camera6Button"))->property("connecting").toBool());
		QVERIFY(checkedSlots().isEmpty());
		QCOMPARE(child<QLabel>("MessageLabel")->text(),
			 localeText("StatusConnecting")
				 .arg(QStringLiteral("Camera 6"), QString::fromLatin1(kSilentAddress)));

		// A second slot clicked meanwhile wins: the silent camera's late failure changes nothing.
		QTest::mouseClick(button(QStringLiteral("Camera2Button")), Qt::LeftButton);
		QCOMPARE(dialog->connectingSlotNumber(), 2);
		QVERIFY(!button(QStringLiteral("Camera6Button"))->property("connecting").toBool());
		QTRY_VERIFY_WITH_TIMEOUT(connectDone(), 10000);
		QCOMPARE(checkedSlots(), QList<int>{2});
		QCOMPARE(child<QLabel>("ConnectionLabel")->text(), QStringLiteral("Stage Left · 127.0.0.62 · NX-W38B"));
		// The first attempt ends later on its own worker; it must not change anything when it does. A job
		// queued behind it on that worker reports after it.
		CameraWorker *silentWorker = dialog->cameraPool()->worker(6);
		QVERIFY(silentWorker);
		bool behind = false;
		silentWorker->connectTo(QString::fromLatin1(kSilentAddress),
					[&behind](const CameraWorker::ConnectResult &) { behind = true; });
		QTRY_VERIFY_WITH_TIMEOUT(behind, 10000);
		QCOMPARE(checkedSlots(), QList<int>{2});
		QCOMPARE(child<QLabel>("MessageLabel")->text(), QString());
		QVERIFY(boxTexts().isEmpty());
	}

	void failedSwitchKeepsTheCameraInUse()
	{
		QJsonObject settings = SettingsHome::read();
		settings[QStringLiteral("Camera6IP")] = QString::fromLatin1(kSilentAddress);
		SettingsHome::write(settings);
		makeDialog();
		QVERIFY(clickSlot(1));

		// While the other slot is being connected, the controls drive nothing: the camera in use may be on air.
		clearWhenQuiet(*b93);
		QTest::mouseClick(button(QStringLiteral("Camera6Button")), Qt::LeftButton);
		QTest::mousePress(button(QStringLiteral("UpButton")), Qt::LeftButton);
		QTest::mouseRelease(button(QStringLiteral("UpButton")), Qt::LeftButton);
		QVERIFY(!connectDone());
		QVERIFY(cameraSettled(dialog.get()));
		QCOMPARE(receivedBeforeMarker(*b93), 0);
		QTRY_VERIFY_WITH_TIMEOUT(connectDone(), 10000);
		QCOMPARE(checkedSlots(), QList<int>{1});
		QVERIFY(boxTexts().isEmpty());

		// After the failure they drive it again.
		QTest::mousePress(button(QStringLiteral("DownButton")), Qt::LeftButton);
		QTRY_COMPARE(b93->state().motion, SimCameraState::Motion::Down);
		QTest::mouseRelease(button(QStringLiteral("DownButton")), Qt::LeftButton);
		QTRY_COMPARE(b93->state().motion, SimCameraState::Motion::Stop);
	}

	void healthShowsInTheStatus()
	{
		useWatchdog(3600 * 1000, 50);
		makeDialog();
		QVERIFY(clickSlot(1));
		b93->setSilent(true);
		QTest::mouseClick(button(QStringLiteral("HomeButton")), Qt::LeftButton);
		const QString notAnswering = localeText("StatusNotAnswering")
						     .arg(QStringLiteral("Camera 1"), QString::fromLatin1(kB93Address));
		QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("ConnectionLabel")->text(), notAnswering, 5000);
		// Still in use: the camera may only be busy.
		QCOMPARE(checkedSlots(), QList<int>{1});
		b93->setSilent(false);
		QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("ConnectionLabel")->text(), kB93InUse, 5000);
	}

	void watchdogKeepsAnAnsweringCamera()
	{
		useWatchdog(100);
		makeDialog();
		QVERIFY(clickSlot(1));
		clearWhenQuiet(*b93);
		// Several watchdog steps ask for the power state; the camera answers and stays in use.
		QTRY_VERIFY_WITH_TIMEOUT(allPayloads(*b93, QStringLiteral("81090400ff")).size() >= 3, 5000);
		QVERIFY(child<QWidget>("CameraControlBox")->isEnabled());
		QCOMPARE(checkedSlots(), QList<int>{1});
		QVERIFY(boxTexts().isEmpty());
	}

	void watchdogDisconnectsASilentCamera()
	{
		useWatchdog(100, 50);
		makeDialog();
		QVERIFY(clickSlot(1));
		b93->setSilent(true);
		QTRY_VERIFY_WITH_TIMEOUT(!child<QWidget>("CameraControlBox")->isEnabled(), 10000);
		verifyNoCameraInUse();
		// Told in the status frame, without a box in the middle of a show.
		QVERIFY(boxTexts().isEmpty());
		QCOMPARE(child<QLabel>("MessageLabel")->text(),
			 localeText("StatusConnectionLost").arg(QString::fromLatin1(kB93Address)));
		QVERIFY(allPayloads(*b93, QStringLiteral("81090400ff")).size() >= 3);

		// The worker keeps probing quietly and takes the slot back when the camera answers again.
		b93->setSilent(false);
		QTRY_COMPARE_WITH_TIMEOUT(checkedSlots(), QList<int>{1}, 10000);
		QVERIFY(child<QWidget>("CameraControlBox")->isEnabled());
		QCOMPARE(child<QLabel>("MessageLabel")->text(),
			 localeText("StatusReconnected")
				 .arg(QStringLiteral("Camera 1"), QString::fromLatin1(kB93Address)));
		QVERIFY(boxTexts().isEmpty());
	}

	void closingWithASilentCameraSendsTheStop()
	{
		makeDialog();
		QVERIFY(clickSlot(1));
		clearWhenQuiet(*b93);
		b93->setSilent(true);
		QTest::mousePress(button(QStringLiteral("UpButton")), Qt::LeftButton);
		QVERIFY(b93->waitForReceived(1, 5000));
		QTest::mouseClick(button(QStringLiteral("HomeButton")), Qt::LeftButton);
		QTest::mouseRelease(button(QStringLiteral("UpButton")), Qt::LeftButton);
		// The window goes while the camera is silent: no wait for it, home dropped, the stop sent.
		dialog.reset();
		QTRY_VERIFY(commandPayloads(*b93).contains(QStringLiteral("8101060107070303ff")));
		QVERIFY(!commandPayloads(*b93).contains(QStringLiteral("81010604ff")));
		b93->setSilent(false);
	}

private:
	// The contrast (WCAG's ratio of relative luminances) between a widget's background, as its window draws it
	// at the widget's right edge, and the pixel drawn furthest from it, its text's colour; an amber bar at its
	// left is left out.
	static double drawnContrast(QWidget *widget)
	{
		QWidget *window = widget->window();
		const QImage image = window->grab(QRect(widget->mapTo(window, QPoint()), widget->size())).toImage();
		const auto luminance = [](const QColor &colour) {
			const auto linear = [](double c) {
				return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
			};
			return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
			       0.0722 * linear(colour.blueF());
		};
		const double background = luminance(image.pixelColor(image.width() - 2, image.height() / 2));
		double most = 1.0;
		for (int y = 0; y < image.height(); ++y)
			for (int x = 10; x < image.width(); ++x) {
				const double other = luminance(image.pixelColor(x, y));
				most = std::max(most, (std::max(other, background) + 0.05) /
							      (std::min(other, background) + 0.05));
			}
		return most;
	}

	template <typename T>
	T *child(const char *name) const
	{
		return namedChild<T>(dialog.get(), QString::fromLatin1(name));
	}
	QPushButton *button(const QString &name) const { return child<QPushButton>(qPrintable(name)); }
	void makeDialog()
	{
		dialog = std::make_unique<ControlledWindow>();
		dialog->show();
	}
	bool clickSlot(int slot) { return connectSlot(dialog.get(), slot); }
	bool connectDone() const { return dialog->connectingSlotNumber() == 0; }
	QList<int> checkedSlots() const
	{
		QList<int> checked;
		for (int slot = 1; slot <= 8; ++slot)
			if (button(QStringLiteral("Camera%1Button").arg(slot))->isChecked())
				checked << slot;
		return checked;
	}
	// The controls and the status frame of a window with no camera in use, or with slot 1's B93 in use.
	void verifyNoCameraInUse() const
	{
		QVERIFY(checkedSlots().isEmpty());
		QVERIFY(!child<QWidget>("CameraControlBox")->isEnabled());
		QVERIFY(!child<QWidget>("PTZSpeedBox")->isEnabled());
		QVERIFY(!child<QAction>("PanTiltLimitAction")->isEnabled());
		QCOMPARE(child<QLabel>("ConnectionLabel")->text(), localeText("StatusNotConnected"));
	}
	void verifyB93InUse() const
	{
		QCOMPARE(checkedSlots(), QList<int>{1});
		QVERIFY(child<QWidget>("CameraControlBox")->isEnabled());
		QVERIFY(child<QWidget>("PTZSpeedBox")->isEnabled());
		QVERIFY(child<QAction>("PanTiltLimitAction")->isEnabled());
		QCOMPARE(child<QLabel>("ConnectionLabel")->text(), kB93InUse);
	}

	SettingsHome home;
	QTemporaryDir profiles;
	std::unique_ptr<CameraSimulator> b93;
	std::unique_ptr<CameraSimulator> w38;
	std::unique_ptr<CameraSimulator> j57;
	std::unique_ptr<MainDialog> dialog;
};

QTEST_MAIN(tst_MainDialog)
#include "tst_MainDialog.moc"
