#include <QtTest>

#include "MainDialogTestSupport.h"
#include "control/CameraInUse.h"
#include "integrations/Controller.h"
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
		QVERIFY(controller.act(OperatorAction::TiltUp, false));
		QTRY_COMPARE(distinctCommands(*first),
			     (QStringList{"8101043f0105ff", "8101060108080301ff", "8101060108080303ff"}));
	}
};

QTEST_MAIN(tst_Controller)
#include "tst_Controller.moc"
