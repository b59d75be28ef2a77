#include <QLabel>
#include <QtTest>

#include "FakeSceneSource.h"
#include "MainDialogTestSupport.h"
#include "control/CameraInUse.h"
#include "integrations/Controller.h"
#include "integrations/LiveCameras.h"
#include "settings/SettingsFile.h"

using namespace MainDialogTest;

// The operator's keys and buttons through the controller, with no window: choosing cameras round the slots that
// have an address, a store that needs its key held, speeds kept within the model's ranges.
class tst_Controller : public QObject {
	Q_OBJECT

	SettingsHome home;
	std::unique_ptr<CameraSimulator> first, third;

	static bool inUse(Controller &controller, int slot)
	{
		return QTest::qWaitFor(
			[&] {
				return controller.cameraInUse()->isConnected() &&
				       controller.cameraInUse()->slot() == slot;
			},
			10000);
	}

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		QVERIFY(loadWindowLocale());
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
		first = startCamera("127.0.0.71", "NX-B93K");
		third = startCamera("127.0.0.73", "NX-B93K");
	}

	void operatorActionsDriveTheCameraInUse()
	{
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.71")},
						{QStringLiteral("Camera3IP"), QStringLiteral("127.0.0.73")}});
		Controller controller(ControlledWindowSupport::options());
		QVERIFY(controller.act(OperatorAction::NextCamera, true));
		QVERIFY(inUse(controller, 1));
		QVERIFY(controller.act(OperatorAction::NextCamera, true)); // slot 2 has no address
		QVERIFY(inUse(controller, 3));
		QVERIFY(controller.act(OperatorAction::PreviousCamera, true));
		QVERIFY(inUse(controller, 1));
		QVERIFY(clearWhenQuiet(*first));

		// A store key let go at once stores nothing; held, it stores.
		QSignalSpy tooShort(&controller, &Controller::storeNeedsHold);
		QSignalSpy stored(&controller, &Controller::presetStored);
		QVERIFY(controller.act(OperatorAction::StorePreset, true, 12));
		controller.act(OperatorAction::StorePreset, false, 12);
		QCOMPARE(tooShort.count(), 1);
		QVERIFY(controller.act(OperatorAction::StorePreset, true, 5));
		QVERIFY(stored.wait(5000));
		QCOMPARE(stored.first(), (QVariantList{1, 5, true}));

		// One step up from the default pan and tilt speed 7, kept for the camera and used by the next move.
		QVERIFY(controller.act(OperatorAction::SpeedUp, true));
		QCOMPARE(SettingsFile::read().value(QStringLiteral("127.0.0.71NX-B93KPanSpeed")).toString(),
			 QStringLiteral("8"));
		QVERIFY(controller.act(OperatorAction::TiltUp, true));
		QTRY_COMPARE(first->state().motion, SimCameraState::Motion::Up);
		QVERIFY(controller.act(OperatorAction::TiltUp, false));
		QTRY_COMPARE(distinctCommands(*first),
			     (QStringList{"8101043f0105ff", "8101060108080301ff", "8101060108080303ff"}));
	}

	// In Studio Mode a camera whose source is on program is live, in every slot that reaches it: a move running
	// when it goes live stops, keys are held back (unless the operator switched that off), scene links neither
	// for preview nor for program recall, and requests are refused; out of Studio Mode nothing is held back.
	void aLiveCameraIsHeldBack()
	{
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.71")},
						{QStringLiteral("Camera1Source"), QStringLiteral("Cam A")},
						{QStringLiteral("Camera2IP"), QStringLiteral("127.0.0.71")},
						{QStringLiteral("TallyEnabled"), false},
						{QStringLiteral("ScenePresets"),
						 QJsonArray{sceneLink(QStringLiteral("Wide"), 1, 4, "preview"),
							    sceneLink(QStringLiteral("Stage"), 2, 3, "program")}}});
		FakeSceneSource scenes;
		Controller controller(ControlledWindowSupport::options());
		controller.attachSceneSource(&scenes);
		QVERIFY(controller.act(OperatorAction::SelectCamera, true, 1));
		QVERIFY(inUse(controller, 1));
		QVERIFY(controller.act(OperatorAction::TiltUp, true));
		QTRY_COMPARE(first->state().motion, SimCameraState::Motion::Up);
		scenes.program = QStringList{QStringLiteral("Cam A")};
		scenes.setStudioMode(true);
		QVERIFY(controller.liveCameras()->isLive(2));
		QTRY_COMPARE(first->state().motion, SimCameraState::Motion::Stop);
		// The key let go: its lane was stopped already, nothing more goes.
		QVERIFY(!controller.act(OperatorAction::TiltUp, false));
		QVERIFY(clearWhenQuiet(*first));

		QSignalSpy heldBack(&controller, &Controller::heldBack);
		QVERIFY(!controller.act(OperatorAction::Home, true));
		QCOMPARE(heldBack.count(), 1);
		emit scenes.previewSceneChanged(QStringLiteral("Wide"));
		emit scenes.programSceneChanged(QStringLiteral("Stage"));
		QCOMPARE(controller.requests().handle("CallPreset", {{"slot", 2}, {"preset", 5}}).value("ok", true),
			 false);
		SettingsFile::update([](QJsonObject &settings) {
			settings[QStringLiteral("LiveCameraProtection")] = false;
			return true;
		});
		QVERIFY(controller.act(OperatorAction::ZoomStop,
				       true)); // a marker: what was held back is not behind it
		QVERIFY(controller.act(OperatorAction::Home, true));
		scenes.setStudioMode(false);
		QVERIFY(!controller.liveCameras()->isLive(1));
		QTRY_COMPARE(distinctCommands(*first).join(QLatin1Char(' ')),
			     QStringLiteral("8101040700ff 81010604ff"));
	}

	// Every camera with an address is watched, in use or not: one that stops answering is marked on its slot and
	// told in the window.
	void aSilentCameraNotInUseIsTold()
	{
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), QStringLiteral("127.0.0.71")},
						{QStringLiteral("Camera3IP"), QStringLiteral("127.0.0.73")}});
		Controller::Options options = ControlledWindowSupport::options();
		options.cameras.assignedProbeMs = 100;
		options.cameras.probeIntervalMs = 100;
		Controller controller(options);
		MainDialog window(&controller);
		QVERIFY(controller.act(OperatorAction::SelectCamera, true, 1));
		QVERIFY(inUse(controller, 1));
		auto *slot = window.findChild<QPushButton *>(QStringLiteral("Camera3Button"));
		third->setSilent(true);
		QTRY_VERIFY_WITH_TIMEOUT(slot->property("silent").toBool(), 10000);
		QVERIFY(window.findChild<QLabel *>(QStringLiteral("MessageLabel"))
				->text()
				.contains(QStringLiteral("127.0.0.73")));
		third->setSilent(false);
		QTRY_VERIFY_WITH_TIMEOUT(!slot->property("silent").toBool(), 10000);
	}
};

QTEST_MAIN(tst_Controller)
#include "tst_Controller.moc"
