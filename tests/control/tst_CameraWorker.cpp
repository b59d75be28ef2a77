// Camera work off the UI thread: the queue's latest-wins lanes, urgent work and bound, and the worker against
// simulated cameras — order on the wire, a busy camera's latest word, leaving a camera, link health, the watchdog,
// shutdown and the stops kept for a process that is killed.

#include "CapturedLog.h"
#include "ReceivedCommands.h"
#include "control/CameraJobQueue.h"
#include "visca/viscaIpModule.h"
#include "control/CameraPool.h"
#include "control/CameraWorker.h"
#include "control/EmergencyStops.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// A job named after what it stands for, in the lane the name says: "up"/"left"/"stop" drive pan/tilt,
// "zin"/"zstop" zoom, "fnear"/"fstop" focus, "zpos<N>" a zoom position, "<key>=<N>" a setting, anything else
// runs unmerged.
CameraJob namedJob(const QString &token)
{
	CameraJob job;
	job.name = token.toLatin1();
	if (token == QLatin1String("stop") || token == QLatin1String("zstop") || token == QLatin1String("fstop"))
		job.stop = true;
	if (QStringList{"up", "down", "left", "right", "stop"}.contains(token))
		job.lane = CameraLane::PanTilt;
	else if (token.startsWith(QLatin1String("z")) && !token.startsWith(QLatin1String("zpos")))
		job.lane = CameraLane::Zoom;
	else if (token.startsWith(QLatin1String("f")))
		job.lane = CameraLane::Focus;
	else if (token.startsWith(QLatin1String("zpos")))
		job.lane = CameraLane::ZoomPosition;
	else if (token.contains(QLatin1Char('='))) {
		job.lane = CameraLane::Setting;
		job.settingKey = token.section(QLatin1Char('='), 0, 0).toLatin1();
	}
	return job;
}

QString queued(const CameraJobQueue &queue)
{
	QStringList names;
	for (const QByteArray &name : queue.names())
		names << QString::fromLatin1(name);
	return names.join(QLatin1Char(' '));
}

// Whether `asked` keeps the order of `submitted`, each of which it holds at most once.
bool keepsOrder(const QStringList &asked, const QStringList &submitted)
{
	int at = 0;
	for (const QString &payload : asked) {
		at = int(submitted.indexOf(payload, at)) + 1;
		if (at == 0)
			return false;
	}
	return true;
}

using Direction = CameraCommands::Direction;

const QString kMoveUp = QStringLiteral("810106010b0b0301ff");
const QString kMoveLeft = QStringLiteral("810106010b0b0103ff");
const QString kStop = QStringLiteral("810106010b0b0303ff");
const QString kHome = QStringLiteral("81010604ff");
const QString kZoomStop = QStringLiteral("8101040700ff");

} // namespace

class tst_CameraWorker : public QObject {
	Q_OBJECT

	std::unique_ptr<CameraSimulator> sim;

	bool startCamera(const char *address)
	{
		sim = startSimulatedCamera(QString::fromLatin1(address));
		return bool(sim);
	}

	CameraWorker::Options workerOptions() const
	{
		CameraWorker::Options options;
		options.cameraPort = sim->port();
		options.watchdogIntervalMs = 3600 * 1000; // only the tests that want it watch
		return options;
	}

	// Connects `worker` to the simulated camera and waits for the outcome.
	static bool connectWorker(CameraWorker &worker, const QHostAddress &address)
	{
		bool done = false;
		bool connected = false;
		worker.connectTo(address.toString(), [&](const CameraWorker::ConnectResult &result) {
			done = true;
			connected = result.outcome == CameraWorker::ConnectResult::Outcome::Connected;
		});
		if (!QTest::qWaitFor([&done]() { return done; }, 10000))
			return false;
		return connected && worker.hasLink();
	}

	// The worker has run everything it was given (the camera may still be answering).
	static bool drained(CameraWorker &worker)
	{
		return QTest::qWaitFor([&worker]() { return worker.pendingJobNames().isEmpty(); }, 10000);
	}

private slots:
	void initTestCase()
	{
		CapturedLog::install();
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
	}
	void cleanupTestCase() { CapturedLog::uninstall(); }
	void init() { CapturedLog::clear(); }
	void cleanup() { sim.reset(); }

	// ------------------------------------------------------------------------------------------------ queue

	void queueMerges_data()
	{
		QTest::addColumn<QString>("pushed");
		QTest::addColumn<QString>("waiting");

		const char *const rows[][3] = {
			{"moves: the latest waits", "up left right", "right"},
			{"a stop replaces its lane's move and goes first", "home up stop", "stop home"},
			{"a move replaces a waiting stop in its place", "stop home left", "left home"},
			{"lanes keep their own latest", "up zin left zstop", "zstop left"},
			{"stops go ahead in the order they came", "home stop zstop", "stop zstop home"},
			{"positions: the latest waits", "zpos1 home zpos2", "zpos2 home"},
			{"settings: the latest of each", "shutter=1 iris=2 shutter=3", "shutter=3 iris=2"},
			{"unmerged jobs all wait", "home home recall", "home home recall"},
		};
		for (const auto &row : rows)
			QTest::newRow(row[0]) << QString::fromLatin1(row[1]) << QString::fromLatin1(row[2]);
	}
	void queueMerges()
	{
		QFETCH(QString, pushed);
		QFETCH(QString, waiting);

		CameraJobQueue queue;
		for (const QString &token : pushed.split(QLatin1Char(' ')))
			QVERIFY(queue.push(namedJob(token)));
		QCOMPARE(queued(queue), waiting);
	}

	void queueBoundRefusesButStops()
	{
		// Past the bound a new job is refused, never dropped later; a stop is always taken.
		CameraJobQueue queue(2);
		QVERIFY(queue.push(namedJob(QStringLiteral("home"))));
		QVERIFY(queue.push(namedJob(QStringLiteral("recall"))));
		QVERIFY(!queue.push(namedJob(QStringLiteral("home"))));
		QVERIFY(queue.push(namedJob(QStringLiteral("zstop"))));
		QCOMPARE(queued(queue), QStringLiteral("zstop home recall"));
		QCOMPARE(queue.discardAllButStops(), 2);
		QCOMPARE(queue.takeNext().name, QByteArray("zstop"));
	}

	// ------------------------------------------------------------------------------------------------ worker

	void connectReportsEveryOutcome()
	{
		QVERIFY(startCamera("127.0.0.150"));
		CameraWorker worker(1, workerOptions());
		QVERIFY(!worker.submit(CameraCommands::home(), 0)); // no link before a connect
		QVERIFY(connectWorker(worker, sim->address()));
		QCOMPARE(worker.model(), QStringLiteral("NX-B93K"));
		QCOMPARE(worker.address(), sim->address().toString());
		QVERIFY(worker.capabilities());

		// A silent address: the outcome says so, and the link of the earlier connect stays usable.
		CameraWorker::ConnectResult outcome;
		bool done = false;
		worker.connectTo(QStringLiteral("127.0.0.151"), [&](const CameraWorker::ConnectResult &result) {
			outcome = result;
			done = true;
		});
		QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
		QCOMPARE(int(outcome.outcome), int(CameraWorker::ConnectResult::Outcome::NotAnswering));
		QCOMPARE(worker.address(), sim->address().toString());
		sim->clearReceived();
		QVERIFY(worker.submit(CameraCommands::home(), 0));
		QTRY_COMPARE(commandPayloads(*sim), QStringList{kHome});
	}

	void connectReadsThePanel()
	{
		QVERIFY(startCamera("127.0.0.152"));
		SimCameraState state = sim->state();
		state.picture.zoom = 0x1234;
		state.picture.autoFocus = false;
		sim->setState(state);
		CameraWorker worker(1, workerOptions());
		CameraWorker::ConnectResult outcome;
		worker.connectTo(sim->address().toString(),
				 [&outcome](const CameraWorker::ConnectResult &result) { outcome = result; });
		QTRY_VERIFY_WITH_TIMEOUT(outcome.ops != nullptr, 10000);
		QCOMPARE(outcome.reading.zoom, std::optional<int>(0x1234));
		QCOMPARE(outcome.reading.autoFocus, std::optional<bool>(false));
		QVERIFY(outcome.reading.aeMode.has_value());
		QVERIFY(outcome.reading.digEffect.has_value());
	}

	void pressAndReleaseKeepTheirOrder()
	{
		QVERIFY(startCamera("127.0.0.153"));
		CameraWorker worker(1, workerOptions());
		QVERIFY(connectWorker(worker, sim->address()));
		sim->clearReceived();
		// Taps wait while the camera is busy, and a waiting tap's stop replaces its move: whatever the camera
		// had taken when, it gets the taps in their order, each move with its stop, and the lane's last word.
		const QStringList submitted{kMoveUp, kStop, kMoveLeft, kStop, kHome};
		for (Direction direction : {Direction::Up, Direction::Left}) {
			QVERIFY(worker.submit(CameraCommands::move(direction), 0));
			QVERIFY(worker.submit(CameraCommands::motorStop(), 0));
		}
		QVERIFY(worker.submit(CameraCommands::home(), 0));
		QVERIFY(drained(worker));
		QTRY_COMPARE(commandPayloads(*sim).value(commandPayloads(*sim).size() - 1), kHome);
		const QStringList asked = distinctCommands(*sim);
		QVERIFY2(keepsOrder(asked, submitted) && asked.size() >= 2 && asked.at(asked.size() - 2) == kStop,
			 qPrintable(asked.join(QLatin1Char(' '))));
	}

	void anUnansweredStopIsSentUntilAnswered()
	{
		QVERIFY(startCamera("127.0.0.163"));
		CameraWorker::Options options = workerOptions();
		options.stopRetryMs = 100;
		CameraWorker worker(1, options);
		QVERIFY(connectWorker(worker, sim->address()));
		QVERIFY(worker.submit(CameraCommands::move(Direction::Up), 0));
		QVERIFY(drained(worker));
		QVERIFY(clearWhenQuiet(*sim));

		// A 0.6 s outage swallows the stop and its resend.
		sim->setSilent(true);
		QVERIFY(worker.submit(CameraCommands::motorStop(), 0));
		QVERIFY(sim->waitForReceived(1, 5000));
		QTest::qWait(600);
		sim->setSilent(false);
		const int stopsInOutage = commandPayloads(*sim).count(kStop);
		QTRY_VERIFY_WITH_TIMEOUT(commandPayloads(*sim).count(kStop) > stopsInOutage, 10000);
		QTRY_VERIFY(!worker.isMoving(CameraLane::PanTilt));
	}

	void presetNumbersStayWithTheirCamera()
	{
		QVERIFY(startCamera("127.0.0.164"));
		auto other = startSimulatedCamera(QStringLiteral("127.0.0.165"), QStringLiteral("NX-B93K"));
		QVERIFY(other);
		CameraWorker::Options options = workerOptions();
		options.commandPauseMs = 0;
		CameraWorker storing(1, options);
		options.cameraPort = other->port();
		CameraWorker recalling(2, options);
		QVERIFY(connectWorker(storing, sim->address()));
		QVERIFY(connectWorker(recalling, other->address()));
		sim->clearReceived();
		other->clearReceived();
		// A recall lets the camera settle for a second; stores follow each other quickly meanwhile.
		for (int round = 0; round < 20; ++round) {
			QVERIFY(storing.submit(CameraCommands::presetSave(), 7));
			if (round % 5 == 0)
				QVERIFY(recalling.submit(CameraCommands::presetRecall(), 3));
		}
		QVERIFY(drained(storing));
		QVERIFY(drained(recalling));
		QTRY_COMPARE(commandPayloads(*sim, QStringLiteral("8101043f")).size(), 20);
		QTRY_COMPARE(commandPayloads(*other, QStringLiteral("8101043f")).size(), 4);
		const std::pair<const CameraSimulator *, const char *> cameras[] = {{sim.get(), "8101043f0107ff"},
										    {other.get(), "8101043f0203ff"}};
		for (const auto &[camera, expected] : cameras) {
			QStringList memories = commandPayloads(*camera, QStringLiteral("8101043f"));
			memories.removeDuplicates();
			QCOMPARE(memories, QStringList{QString::fromLatin1(expected)});
		}
	}

	void followUpsReachTheOwnersThread()
	{
		QVERIFY(startCamera("127.0.0.154"));
		CameraWorker worker(1, workerOptions());
		QVERIFY(connectWorker(worker, sim->address()));
		QThread *ranOn = nullptr;
		int answer = -1;
		QVERIFY(worker.submit(CameraJob::inquiry("power", [&](viscaIpModule &link) {
			const bool on = link.isPowerOK();
			return CameraJob::FollowUp([&ranOn, &answer, on]() {
				ranOn = QThread::currentThread();
				answer = on ? 1 : 0;
			});
		})));
		QTRY_COMPARE(answer, 1);
		QCOMPARE(ranOn, QThread::currentThread());
	}

	void slowCameraGetsOneMoveAndOneStop()
	{
		QVERIFY(startCamera("127.0.0.155"));
		CameraWorker worker(1, workerOptions());
		QVERIFY(connectWorker(worker, sim->address()));
		sim->clearReceived();
		sim->setSilent(true);

		// The first move goes out and waits for a camera that does not answer; a stick keeps changing.
		QVERIFY(worker.submit(CameraCommands::move(CameraCommands::Direction::Up), 0));
		QVERIFY(sim->waitForReceived(1, 5000));
		for (int change = 0; change < 200; ++change)
			QVERIFY(worker.submit(CameraCommands::move(change % 2 ? Direction::Left : Direction::Up), 0));
		QVERIFY(worker.submit(CameraCommands::motorStop(), 0));
		QCOMPARE(worker.pendingJobNames(), QList<QByteArray>{"setMotorStop"});
		sim->setSilent(false);

		// No stale move after the release: the stop is the camera's last word, and the only one.
		QVERIFY(drained(worker));
		QTRY_COMPARE(commandPayloads(*sim).value(commandPayloads(*sim).size() - 1), kStop);
		const QStringList asked = distinctCommands(*sim);
		QCOMPARE(asked.count(kStop), 1);
		QCOMPARE(asked.first(), kMoveUp);
	}

	void leavingACameraKeepsOnlyItsStop()
	{
		QVERIFY(startCamera("127.0.0.157"));
		CameraWorker worker(1, workerOptions());
		QVERIFY(connectWorker(worker, sim->address()));
		sim->clearReceived();
		sim->setSilent(true);
		QVERIFY(worker.submit(CameraCommands::move(CameraCommands::Direction::Up), 0));
		QVERIFY(sim->waitForReceived(1, 5000));
		QVERIFY(worker.submit(CameraCommands::zoomIn(), 0));
		QVERIFY(worker.submit(CameraCommands::home(), 0));
		QVERIFY(worker.submit(CameraCommands::motorStop(), 0));
		worker.discardPending();
		QCOMPARE(worker.pendingJobNames(), QList<QByteArray>{"setMotorStop"});
		sim->setSilent(false);

		// The stop arrives next, and nothing of what was discarded comes before the command that follows it.
		QVERIFY(drained(worker));
		QVERIFY(worker.submit(CameraCommands::focusStop(), 0));
		QTRY_VERIFY(commandPayloads(*sim).contains(QStringLiteral("8101040800ff")));
		QCOMPARE(distinctCommands(*sim), QStringList({kMoveUp, kStop, QStringLiteral("8101040800ff")}));
	}

	// A camera in use that dies is noticed without a command, within a few seconds rather than at the next
	// quarter-minute check, and taken back when it answers.
	void healthFollowsTheCamera()
	{
		QVERIFY(startCamera("127.0.0.158"));
		CameraWorker::Options options;
		options.cameraPort = sim->port();
		CameraWorker worker(1, options);
		QVERIFY(connectWorker(worker, sim->address()));
		worker.setWatch(CameraWorker::Watch::InUse, sim->address().toString());
		QSignalSpy health(&worker, &CameraWorker::answeringChanged);

		sim->setSilent(true);
		QTRY_COMPARE_WITH_TIMEOUT(health.count(), 1, 10000);
		QCOMPARE(health.at(0).at(0).toBool(), false);
		QVERIFY(!worker.isAnswering());
		sim->setSilent(false);
		QTRY_COMPARE_WITH_TIMEOUT(health.count(), 2, 10000);
		QCOMPARE(health.at(1).at(0).toBool(), true);
		QVERIFY(worker.isAnswering());
	}

	void watchdogGivesUpAndTakesBack()
	{
		QVERIFY(startCamera("127.0.0.159"));
		CameraWorker::Options options = workerOptions();
		options.watchdogIntervalMs = 100;
		options.probeIntervalMs = 50;
		CameraWorker worker(1, options);
		QVERIFY(connectWorker(worker, sim->address()));
		QSignalSpy lost(&worker, &CameraWorker::connectionLost);
		QSignalSpy back(&worker, &CameraWorker::answeringAgain);

		sim->clearReceived();
		worker.setWatch(CameraWorker::Watch::InUse, sim->address().toString());
		QTRY_VERIFY_WITH_TIMEOUT(sim->received().size() >= 2, 5000); // power checks while it answers
		QCOMPARE(lost.count(), 0);

		sim->setSilent(true);
		QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 10000);
		QCOMPARE(back.count(), 0);
		sim->setSilent(false);
		QTRY_COMPARE_WITH_TIMEOUT(back.count(), 1, 10000);
		QCOMPARE(lost.count(), 1);
	}

	void shutdownStopsEveryLaneToldToMove_data()
	{
		QTest::addColumn<bool>("stopAsked");
		QTest::newRow("the stop was asked for") << true;
		QTest::newRow("nobody asked for a stop") << false;
	}
	void shutdownStopsEveryLaneToldToMove()
	{
		QFETCH(bool, stopAsked);
		QVERIFY(startCamera("127.0.0.160"));
		CameraWorker::Options options = workerOptions();
		options.exitBudgetMs = 20000; // ends when the stops are answered, long before
		auto worker = std::make_unique<CameraWorker>(1, options);
		QVERIFY(connectWorker(*worker, sim->address()));
		QVERIFY(worker->submit(CameraCommands::zoomIn(), 0));
		QVERIFY(drained(*worker));
		QVERIFY(clearWhenQuiet(*sim));
		sim->setSilent(true);
		QVERIFY(worker->submit(CameraCommands::move(Direction::Up), 0));
		QVERIFY(sim->waitForReceived(1, 5000));
		if (stopAsked)
			QVERIFY(worker->submit(CameraCommands::motorStop(), 0));

		// Ending the worker stops both lanes; stops the camera did not hear are sent again until it answers
		// them.
		worker->beginShutdown();
		QVERIFY(sim->waitForReceived(4, 10000)); // the move and its resend, then each stop at once

		sim->setSilent(false);
		worker.reset();
		QTRY_COMPARE(sim->state().zoomDrive, SimCameraState::Drive::Stop);
		const QStringList asked = commandPayloads(*sim);
		QVERIFY2(asked.count(kStop) >= 2 && asked.count(kZoomStop) >= 2,
			 qPrintable(asked.join(QLatin1Char(' '))));
		QCOMPARE(EmergencyStops::keptCount(), 0);
	}

	// While a lane moves, its stop is ready for a process that is killed: sent without the worker.
	void aKilledProcessStopsWhatMoves()
	{
		QVERIFY(startCamera("127.0.0.166"));
		CameraWorker worker(1, workerOptions());
		QVERIFY(connectWorker(worker, sim->address()));
		QVERIFY(worker.submit(CameraCommands::zoomIn(), 0));
		QVERIFY(drained(worker));
		QTRY_COMPARE(EmergencyStops::keptCount(), 1);
		EmergencyStops::sendAll();
		QTRY_COMPARE(sim->state().zoomDrive, SimCameraState::Drive::Stop);
		QVERIFY(commandPayloads(*sim).contains(kZoomStop));
		QVERIFY(worker.submit(CameraCommands::zoomStop(), 0));
		QTRY_COMPARE(EmergencyStops::keptCount(), 0);
	}

	void poolEndsEveryWorker()
	{
		QVERIFY(startCamera("127.0.0.161"));
		auto pool = std::make_unique<CameraPool>(workerOptions());
		QVERIFY(!pool->worker(0));
		QVERIFY(!pool->worker(9));
		QCOMPARE(pool->worker(3), pool->door(3)->worker());
		QVERIFY(connectWorker(*pool->worker(3), sim->address()));
		QVERIFY(connectWorker(*pool->worker(4), sim->address()));
		sim->setSilent(true);
		sim->clearReceived();
		QVERIFY(pool->worker(3)->submit(CameraCommands::zoomIn(), 0));
		QVERIFY(pool->worker(4)->submit(CameraCommands::home(), 0));
		QVERIFY(sim->waitForReceived(2, 5000));
		QVERIFY(pool->worker(3)->submit(CameraCommands::zoomStop(), 0));
		pool.reset();
		QTRY_VERIFY(commandPayloads(*sim).contains(QStringLiteral("8101040700ff")));
	}
};

QTEST_GUILESS_MAIN(tst_CameraWorker)
#include "tst_CameraWorker.moc"
