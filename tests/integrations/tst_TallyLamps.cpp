// The cameras' tally lamps following OBS's program, against a fake scene source and simulated cameras.

#include "CapturedLog.h"
#include "FakeSceneSource.h"
#include "HeldWorker.h"
#include "ReceivedCommands.h"
#include "SettingsHome.h"
#include "control/CameraPool.h"
#include "integrations/TallyLamps.h"

#include <QtTest>

namespace {

const char *const kAddresses[] = {"127.0.0.180", "127.0.0.181"};

CameraWorker::Options watchedOften()
{
	CameraWorker::Options options;
	options.assignedProbeMs = 100;
	options.probeIntervalMs = 100;
	return options;
}

struct World {
	FakeSceneSource scenes;
	CameraPool pool{watchedOften()};
	std::unique_ptr<CameraSimulator> cameras[2];
	void show(QStringList sources)
	{
		scenes.program = std::move(sources);
		emit scenes.programSourcesChanged();
	}
};

// One step, what each camera's lamp was told up to then ("2" on, "3" off) and how many refusals were logged.
struct Step {
	void (*act)(World &w);
	const char *lamps[2];
	int refusals = 0;
};
const Step kSteps[] = {
	{[](World &w) { w.show({"Cam A"}); }, {"2", ""}},
	{[](World &w) { w.show({"Cam A", "X"}); }, {"2", ""}}, // slot 1's source stays: nothing
	{[](World &w) { w.show({"Cam B"}); }, {"23", "2"}},
	{[](World &) { TallyLamps::setEnabled(false); }, {"23", "23"}},
	{[](World &) { TallyLamps::setEnabled(true); }, {"23", "232"}},
	// What OBS shows while a collection loads lights nothing; the loaded program decides.
	{[](World &w) {
		 w.scenes.beginLoading(), w.show({"Cam A"}), w.scenes.program.clear(), w.scenes.endLoading("B");
	 },
	 {"23", "2323"}},
	{[](World &w) { w.cameras[0]->errorNextRequest(0x41), w.show({"Cam A"}); }, {"232", "2323"}, 1},
	// Refused, it is not asked again: the lamp's commands have arrived once a zoom stop sent after them has.
	{[](World &w) {
		 w.show({});
		 QVERIFY(w.pool.door(1)->enter(CameraCommands::zoomStop(), 0, CameraCaller{}).ok);
		 QTRY_VERIFY(!commandPayloads(*w.cameras[0], "8101040700ff").isEmpty());
	 },
	 {"232", "2323"},
	 1},
	// Until it connects again.
	{[](World &w) { w.pool.worker(1)->connectTo(kAddresses[0], [](const CameraWorker::ConnectResult &) {}); },
	 {"2323", "2323"},
	 1},
};

} // namespace

class tst_TallyLamps : public QObject {
	Q_OBJECT

	SettingsHome home;

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
	}

	void lampsFollowTheProgramOncePerChange()
	{
		SettingsHome::write({{"Camera1IP", kAddresses[0]},
				     {"Camera1Source", "Cam A"},
				     {"Camera2IP", kAddresses[1]},
				     {"Camera2Source", "Cam B"}});
		World world;
		for (int camera = 0; camera < 2; ++camera)
			QVERIFY(world.cameras[camera] = startSimulatedCamera(kAddresses[camera], "NX-B93K", 52381));
		TallyLamps tally(&world.scenes, &world.pool);
		CapturedLog::install();
		for (const Step &step : kSteps) {
			step.act(world);
			for (int camera = 0; camera < 2; ++camera) {
				QStringList lamps;
				for (const char *lamp = step.lamps[camera]; *lamp; ++lamp)
					lamps << QStringLiteral("81017e010a000%1ff").arg(QLatin1Char(*lamp));
				QTRY_COMPARE(commandPayloads(*world.cameras[camera], "81017e"), lamps);
			}
			QTRY_COMPARE(CapturedLog::lines(QtWarningMsg).filter("refused").size(), step.refusals);
		}
		CapturedLog::uninstall();
		QVERIFY(!world.cameras[0]->state().tally && !world.cameras[1]->state().tally);
	}

	// A lost reply is no refusal: the lamp is switched until the camera confirms it. A camera that was away
	// (restarted, its lamp dark) gets the lamp of the moment when it answers again.
	void lampsOutlastLossAndRestarts()
	{
		SettingsHome::write({{"Camera1IP", kAddresses[0]}, {"Camera1Source", "Cam A"}});
		World world;
		QVERIFY(world.cameras[0] = startSimulatedCamera(kAddresses[0], "NX-B93K", 52381));
		world.pool.worker(1)->setWatch(CameraWorker::Watch::Assigned, kAddresses[0]);
		TallyLamps tally(&world.scenes, &world.pool);
		// Identified and at rest first: the completion that goes missing is the lamp's.
		QVERIFY(world.pool.door(1)->enter(CameraCommands::zoomStop(), 0, CameraCaller{}).ok);
		QTRY_VERIFY_WITH_TIMEOUT(world.pool.door(1)->isSettled(), 10000);
		CapturedLog::install();
		CapturedLog::clear();
		world.cameras[0]->dropNextCompletions(1);
		world.show({"Cam A"});
		QTRY_VERIFY_WITH_TIMEOUT(commandPayloads(*world.cameras[0], "81017e").size() >= 2, 10000);
		QTRY_VERIFY(world.cameras[0]->state().tally);

		world.cameras[0]->setSilent(true);
		QTRY_VERIFY_WITH_TIMEOUT(!world.pool.worker(1)->isAnswering(), 10000);
		SimCameraState restarted = world.cameras[0]->state();
		restarted.tally = false;
		world.cameras[0]->setState(restarted);
		world.cameras[0]->setSilent(false);
		QTRY_VERIFY_WITH_TIMEOUT(world.cameras[0]->state().tally, 10000);
		CapturedLog::uninstall();
		QCOMPARE(CapturedLog::lines(QtWarningMsg).filter("refused").size(), 0);
	}

	// A lamp goes ahead of the work that waits for its camera: a recall does not hold the studio's tally back.
	void lampsGoAheadOfWaitingWork()
	{
		SettingsHome::write({{"Camera1IP", kAddresses[0]}, {"Camera1Source", "Cam A"}});
		World world;
		QVERIFY(world.cameras[0] = startSimulatedCamera(kAddresses[0], "NX-B93K", 52381));
		CameraWorker *worker = world.pool.worker(1);
		QVERIFY(world.pool.door(1)->callPreset(1, CameraCaller{}).ok);
		QTRY_VERIFY_WITH_TIMEOUT(world.pool.door(1)->isSettled(), 10000);
		// The worker is held busy while the recall and the lamp come.
		HeldWorker busy(*worker);
		QVERIFY(busy.held());
		QVERIFY(world.pool.door(1)->callPreset(2, CameraCaller{}).ok);
		TallyLamps tally(&world.scenes, &world.pool);
		world.show({"Cam A"});
		const QList<QByteArray> pending = worker->pendingJobNames();
		QVERIFY2((pending == QList<QByteArray>{"tallyOn", "setMemory1_Recall"}), pending.join(' ').constData());
		busy.release();
		QTRY_COMPARE(commandPayloads(*world.cameras[0]).last(), QStringLiteral("8101043f0202ff"));
		QVERIFY(commandPayloads(*world.cameras[0]).contains(QStringLiteral("81017e010a0002ff")));
	}
};

QTEST_MAIN(tst_TallyLamps)
#include "tst_TallyLamps.moc"
