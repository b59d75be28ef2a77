// The controller inside the host's dock, whether the module made the dock (OBS 29) or the host did (OBS 30): made
// only when the dock is first shown, the same controller shown docked or floating, the View-menu entries that dock and
// float it, and the view sizes in a dock. A slot driven from the dock in the real OBS is the control end-to-end test's.

#include "MainDialogTestSupport.h"
#include "ui/ControllerDock.h"

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

using namespace MainDialogTest;

namespace {
// The dock OBS 30 makes around a widget it is given with an id and a title.
QDockWidget *hostMadeDock(QWidget *widget, QMainWindow *host)
{
	auto *dock = new QDockWidget(host);
	dock->setWidget(widget);
	dock->setWindowTitle(widget->windowTitle());
	dock->setObjectName(QLatin1String(ControllerDock::kObjectName));
	host->addDockWidget(Qt::RightDockWidgetArea, dock);
	dock->setVisible(false);
	dock->setFloating(true);
	return dock;
}
} // namespace

class tst_ControllerDock : public QObject {
	Q_OBJECT

	SettingsHome home;
	std::unique_ptr<QMainWindow> host;
	QPointer<MainDialog> controller;
	QPointer<QDockWidget> dock;
	QPointer<ControllerDock> follower;

	QAction *dockAction() const { return dock->findChild<QAction *>(QStringLiteral("DockInHostWindowAction")); }
	QAction *floatAction() const
	{
		return dock->findChild<QAction *>(QStringLiteral("FloatOutsideHostWindowAction"));
	}

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		QVERIFY(loadLocale());
		installModalAnswerer();
	}

	void initTestCase_data()
	{
		QTest::addColumn<bool>("hostMakesDock");
		QTest::newRow("module's dock (OBS 29)") << false;
		QTest::newRow("host's dock (OBS 30)") << true;
	}

	void init()
	{
		removeSettings();
		host = std::make_unique<QMainWindow>();
		host->setCentralWidget(new QWidget);
		host->resize(1280, 900);
		QFETCH_GLOBAL(bool, hostMakesDock);
		const QString title = QStringLiteral("Kavren OBS Camera Controller");
		dock = hostMakesDock ? hostMadeDock(ControllerDock::makeContent(title), host.get())
				     : ControllerDock::makeDock(title, host.get());
		follower = new ControllerDock(dock, [this](QWidget *parent) {
			controller = new ControlledWindow(parent);
			return controller.data();
		});
		host->show();
	}

	void cleanup() { host.reset(); }

	void cleanupTestCase() { ModalBox::setAnswerer(nullptr); }

	// No window is made before the dock is first shown; shown from the Tools menu, the controller's controls are on
	// screen, floating at first.
	void presentShowsTheController()
	{
		QVERIFY(!controller);
		follower->present();
		QVERIFY(dock->isFloating());
		QVERIFY(controller->isVisible());
		QVERIFY(dock->width() >= controller->minimumWidth() && dock->height() >= controller->minimumHeight());
		auto *slot = controller->findChild<QPushButton *>(QStringLiteral("Camera1Button"));
		QVERIFY(slot && slot->isVisible());
	}

	// Shown by the host's Docks-menu entry instead, or by the host restoring its layout, the dock holds the
	// controller all the same, made once.
	void docksEntryShowsTheController()
	{
		dock->toggleViewAction()->trigger();
		QVERIFY(controller && controller->isVisible());
		QCOMPARE(qobject_cast<QScrollArea *>(dock->widget())->widget(), controller.data());
		const MainDialog *made = controller;
		dock->hide();
		follower->present();
		QCOMPARE(follower->controller(), made);
	}

	// The View-menu entry docks the controller into the host's window and floats it again, and follows a dock
	// that the operator moved by hand.
	void viewMenuDocksAndFloats()
	{
		follower->present();
		QAction *action = dockAction();
		QVERIFY(action && !action->isChecked() && floatAction()->isChecked());
		action->trigger();
		QVERIFY(!dock->isFloating());
		QCOMPARE(host->dockWidgetArea(dock), Qt::RightDockWidgetArea);
		dock->setFloating(true);
		QVERIFY(!action->isChecked() && floatAction()->isChecked());
	}

	// Docked, the controller takes its compact layout, which a laptop screen's dock (about 410 px) holds without
	// scrolling: slots, pad, presets and the status line in view. Floating, it is the window at its designed sizes.
	void dockedFitsALaptopScreen()
	{
		host->resize(1366, 600);
		follower->present();
		dockAction()->trigger();
		QVERIFY(controller->isCompact());
		QTRY_VERIFY(dock->minimumSizeHint().height() <= 410 && controller->minimumHeight() <= 400);
		QCOMPARE(host->height(), 600);
		// The height OBS's window leaves a dock beside the preview on a 1366x768 screen.
		host->resize(1366, 440);
		auto *scroller = qobject_cast<QScrollArea *>(dock->widget());
		QTRY_VERIFY(host->height() == 440 && scroller->verticalScrollBar()->maximum() == 0);
		const auto *status = controller->findChild<QWidget *>(QStringLiteral("StatusFrame"));
		QVERIFY(status->isVisible() && status->mapTo(scroller->viewport(), QPoint(0, status->height())).y() <=
						       scroller->viewport()->height());
		QVERIFY(controller->findChild<QWidget *>(QStringLiteral("UpButton"))->height() >= 38);
		QVERIFY(!controller->findChild<QWidget *>(QStringLiteral("LogoLabel"))->isVisible());
		floatAction()->trigger();
		QVERIFY(dock->isFloating() && !controller->isCompact());
		QTRY_VERIFY(dock->height() >= controller->minimumHeight());
		QTRY_COMPARE(controller->findChild<QWidget *>(QStringLiteral("UpButton"))->height(), 60);
		QCOMPARE(controller->findChild<QWidget *>(QStringLiteral("Preset1Button"))->height(), 35);
	}

	// Docked, the controller keeps the simple view's width (the advanced panel takes the controls' place) and
	// leaves its height to the host; neither Escape nor the host closing its dialogs (it does at every scene
	// collection load) empties the dock, but Settings → Close closes it.
	void dockedSizesAndEscape()
	{
		follower->present();
		dockAction()->trigger();
		const int simpleWidth = controller->minimumWidth();
		QCOMPARE(controller->maximumWidth(), simpleWidth);
		QCOMPARE(controller->maximumHeight(), QWIDGETSIZE_MAX);
		// The advanced panel takes the controls' place in their width, and a button turns back to them.
		controller->findChild<QAction *>(QStringLiteral("AdvanceModeAction"))->trigger();
		auto *back = controller->findChild<QPushButton *>(QStringLiteral("BackToControlsButton"));
		QTRY_VERIFY(controller->findChild<QWidget *>(QStringLiteral("AdvanceFrame"))->isVisible() &&
			    back->isVisible());
		QVERIFY(!controller->findChild<QWidget *>(QStringLiteral("SimplePanel"))->isVisible());
		QCOMPARE(controller->maximumWidth(), simpleWidth);
		QTest::keyClick(controller, Qt::Key_Escape);
		QVERIFY(controller->isVisible());
		QVERIFY(!controller->close());
		QVERIFY(controller->isVisible());
		QVERIFY(dock->isVisible());
		back->click();
		QTRY_VERIFY(controller->findChild<QWidget *>(QStringLiteral("SimplePanel"))->isVisible());
		QVERIFY(controller->findChild<QAction *>(QStringLiteral("SimpleModeAction"))->isChecked());
		QCOMPARE(controller->minimumWidth(), simpleWidth);
		// Settings → Close hides the dock, as the dock's own close button does.
		controller->findChild<QAction *>(QStringLiteral("CloseAction"))->trigger();
		QVERIFY(!dock->isVisible());
	}
};

QTEST_MAIN(tst_ControllerDock)
#include "tst_ControllerDock.moc"
