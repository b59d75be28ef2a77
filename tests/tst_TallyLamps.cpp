// The cameras' tally lamps following OBS's program, against a fake scene source and simulated cameras.

#include "CapturedLog.h"
#include "FakeSceneSource.h"
#include "ReceivedCommands.h"
#include "SettingsHome.h"
#include "control/CameraDirector.h"
#include "control/CameraPool.h"
#include "integrations/TallyLamps.h"

#include <QtTest>

namespace {

const char *const kAddresses[] = {"127.0.0.180", "127.0.0.181"};

struct World {
	FakeSceneSource scenes;
	CameraPool pool{CameraWorker::Options{}};
	CameraDirector director{&pool, [](int slot) { return QString::number(slot); }};
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
		 QVERIFY(w.director.zoom(1, QStringLiteral("stop")).ok);
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

private slots:
	void lampsFollowTheProgramOncePerChange()
	{
		SettingsHome home;
		QVERIFY(home.setUp());
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
		SettingsHome::write({{"Camera1IP", kAddresses[0]},
				     {"Camera1Source", "Cam A"},
				     {"Camera2IP", kAddresses[1]},
				     {"Camera2Source", "Cam B"}});
		World world;
		for (int camera = 0; camera < 2; ++camera)
			QVERIFY(world.cameras[camera] = startSimulatedCamera(kAddresses[camera], "NX-B93K", 52381));
		TallyLamps tally(&world.scenes, &world.director);
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
};

QTEST_MAIN(tst_TallyLamps)
#include "tst_TallyLamps.moc"
