// Camera work off the UI thread: the queue's merging and bounds, and the worker against simulated cameras —
// order on the wire, merging under a silent camera, leaving a camera, link health, the watchdog and shutdown.

#include "CapturedLog.h"
#include "ReceivedCommands.h"
#include "control/CameraJobQueue.h"
#include "visca/viscaIpModule.h"
#include "control/CameraPool.h"
#include "control/CameraWorker.h"

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

// A resend repeats its packet at once; what the camera was asked, in order, is the list without repeats.
QStringList withoutResends(const QStringList &payloads)
{
	QStringList distinct;
	for (const QString &payload : payloads)
		if (distinct.isEmpty() || distinct.last() != payload)
			distinct << payload;
	return distinct;
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

		// A leading "=" pushes as for a camera that keeps up: it gets everything, in order.
		const char *const rows[][3] = {
			{"keeping up: a tap and a move", "=up stop left", "up stop left"},
			{"keeping up until jobs pile up", "=home home home home up left", "home home home home left"},
			{"moves merge while they wait", "up left right", "right"},
			{"a waiting tap goes when the next move comes", "up stop left", "left"},
			{"a waiting tap amid other lanes goes", "up stop zin home left", "zin home left"},
			{"a stop for a sent move stays", "stop up stop left", "stop left"},
			{"two stops are one", "up stop stop", "up stop"},
			{"a zoom tap does not touch pan/tilt", "up zin zstop zin", "up zin"},
			{"positions: the latest waits", "zpos1 home zpos2", "home zpos2"},
			{"settings: the latest of each", "shutter=1 iris=2 shutter=3", "iris=2 shutter=3"},
			{"unmerged jobs all wait", "home home recall", "home home recall"},
		};
		for (const auto &row : rows)
			QTest::newRow(row[0]) << QString::fromLatin1(row[1]) << QString::fromLatin1(row[2]);
	}
	void queueMerges()
	{
		QFETCH(QString, pushed);
		QFETCH(QString, waiting);

		const bool behind = !pushed.startsWith(QLatin1Char('='));
		CameraJobQueue queue;
		for (const QString &token : pushed.mid(behind ? 0 : 1).split(QLatin1Char(' ')))
			queue.push(namedJob(token), behind);
		QCOMPARE(queued(queue), waiting);
	}

	void queueBoundKeepsStops()
	{
		CameraJobQueue queue(4);
		for (const char *token : {"up", "stop", "zin", "zstop", "fnear", "fstop"})
			queue.push(namedJob(QString::fromLatin1(token)), true);
		// Past the bound the oldest jobs go, but never a stop.
		QCOMPARE(queued(queue), QStringLiteral("stop zstop fnear fstop"));
		int dropped = 0;
		for (int i = 0; i < 10; ++i)
			dropped += queue.push(namedJob(QStringLiteral("home")));
		QCOMPARE(dropped, 10);
		QCOMPARE(queued(queue), QStringLiteral("stop zstop fstop home"));

		QCOMPARE(queue.discardAllButStops(), 1);
		QCOMPARE(queued(queue), QStringLiteral("stop zstop fstop"));
		QCOMPARE(queue.takeNext().name, QByteArray("stop"));
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
		for (Direction direction : {Direction::Up, Direction::Left}) {
			QVERIFY(worker.submit(CameraCommands::move(direction), 0));
			QVERIFY(worker.submit(CameraCommands::motorStop(), 0));
		}
		QVERIFY(worker.submit(CameraCommands::home(), 0));
		QTRY_COMPARE(commandPayloads(*sim).size(), 5);
		QCOMPARE(commandPayloads(*sim), QStringList({kMoveUp, kStop, kMoveLeft, kStop, kHome}));
	}

	void aStopThatOvertookItsMoveWaitsForIt()
	{
		QVERIFY(startCamera("127.0.0.162"));
		CameraWorker worker(1, workerOptions());
		QVERIFY(connectWorker(worker, sim->address()));
		sim->clearReceived();
		// Requests run in parallel: the stop of a tap arrives first, its move right after.
		for (const CameraCommand &command :
		     {CameraCommands::motorStop(), CameraCommands::move(Direction::Up)}) {
			CameraJob job = CameraJob::fromCommand(command, 0);
			job.mayOvertake = true;
			QVERIFY(worker.submit(std::move(job)));
		}
		QTRY_COMPARE(commandPayloads(*sim).size(), 2);
		QCOMPARE(commandPayloads(*sim), QStringList({kMoveUp, kStop}));
		QTRY_VERIFY(!worker.isMoving(CameraLane::PanTilt));

		// A request's stop waiting so is no stop for the operator's move: it goes first, the move stays.
		CameraJob stop = CameraJob::fromCommand(CameraCommands::motorStop(), 0);
		stop.mayOvertake = true;
		QVERIFY(worker.submit(std::move(stop)));
		QVERIFY(worker.submit(CameraCommands::move(Direction::Up), 0));
		QTRY_COMPARE(commandPayloads(*sim).size(), 4);
		QCOMPARE(commandPayloads(*sim).mid(2), QStringList({kStop, kMoveUp}));
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

		// The first move goes out and waits for a camera that does not answer; the operator keeps tapping.
		QVERIFY(worker.submit(CameraCommands::move(CameraCommands::Direction::Up), 0));
		QVERIFY(sim->waitForReceived(1, 5000));
		for (int tap = 0; tap < 200; ++tap) {
			QVERIFY(worker.submit(CameraCommands::motorStop(), 0));
			QVERIFY(worker.submit(CameraCommands::move(CameraCommands::Direction::Left), 0));
		}
		QVERIFY(worker.submit(CameraCommands::motorStop(), 0));
		QVERIFY(worker.pendingJobNames().size() <= CameraJobQueue::kBacklog + 1);
		sim->setSilent(false);
		QVERIFY(drained(worker));

		// The sent move, a few merged taps of what piled up before the camera counted as silent, and the last
		// stop: never hundreds of moves.
		QTRY_COMPARE(commandPayloads(*sim).last(), kStop);
		QVERIFY(drained(worker));
		const QStringList asked = withoutResends(commandPayloads(*sim));
		QVERIFY2(asked.size() <= 2 + 2 * CameraJobQueue::kBacklog, qPrintable(asked.join(QLatin1Char(' '))));
		QCOMPARE(asked.first(), kMoveUp);
		QCOMPARE(asked.last(), kStop);
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
		QCOMPARE(withoutResends(commandPayloads(*sim)),
			 QStringList({kMoveUp, kStop, QStringLiteral("8101040800ff")}));
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
		worker.setWatched(true);
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

		// Unwatched, nothing is checked.
		sim->clearReceived();
		worker.setWatched(true);
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
		auto worker = std::make_unique<CameraWorker>(1, workerOptions());
		QVERIFY(connectWorker(*worker, sim->address()));
		QVERIFY(worker->submit(CameraCommands::zoomIn(), 0));
		QVERIFY(drained(*worker));
		QVERIFY(clearWhenQuiet(*sim));
		sim->setSilent(true);
		QVERIFY(worker->submit(CameraCommands::move(Direction::Up), 0));
		QVERIFY(sim->waitForReceived(1, 5000));
		QVERIFY(worker->submit(CameraCommands::home(), 0));
		if (stopAsked)
			QVERIFY(worker->submit(CameraCommands::motorStop(), 0));

		// Ending the worker cuts the wait for the move short, drops home and stops both lanes, each once.
		worker.reset();
		QTRY_COMPARE(withoutResends(commandPayloads(*sim)).size(), 3);
		QCOMPARE(withoutResends(commandPayloads(*sim)), QStringList({kMoveUp, kStop, kZoomStop}));
		QCOMPARE(commandPayloads(*sim).count(kStop), 1);
	}

	void poolEndsEveryWorker()
	{
		QVERIFY(startCamera("127.0.0.161"));
		auto pool = std::make_unique<CameraPool>(workerOptions());
		QVERIFY(!pool->worker(0));
		QVERIFY(!pool->worker(9));
		QCOMPARE(pool->worker(3), pool->worker(3));
		QVERIFY(!pool->existingWorker(4));
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
