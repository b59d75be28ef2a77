#include "control/CameraWorker.h"

#include "camera/CameraParse.h"
#include "camera/viscaGeneralOps.h"
#include "visca/viscaIpModule.h"
#include "camera/CameraLog.h"
#include "camera/ViscaIPFactory.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <utility>

namespace {

// How often a pause looks whether the worker is ending.
constexpr qint64 kPauseSliceMs = 20;

} // namespace

CameraWorker::Options::Options() : cameraPort(viscaIpModule::kViscaPort), commandPauseMs(viscaIpModule::kCommandPauseMs)
{
}

CameraWorker::CameraWorker(int slot, const Options &options, QObject *parent)
    : QObject(parent), slotNumber(slot), options(options), queue(options.maxJobs)
{
	lastActivity = nextProbe = Clock::now();
	thread = QThread::create([this]() { run(); });
	thread->setObjectName(QStringLiteral("Camera %1").arg(slot));
	thread->start();
}

CameraWorker::~CameraWorker()
{
	beginShutdown();
	finishShutdown();
}

// ------------------------------------------------------------------------------------------------ owner's side

void CameraWorker::connectTo(const QString &address, ConnectDone done)
{
	CameraJob job;
	job.name = "connect";
	job.setUp = [this, address, done = std::move(done)]() { return connectLink(address, done); };
	std::lock_guard<std::mutex> lock(mutex);
	if (closing)
		return;
	queue.push(std::move(job));
	wake.notify_one();
}

bool CameraWorker::submit(CameraJob job)
{
	if (!hasLink())
		return false;
	std::lock_guard<std::mutex> lock(mutex);
	if (closing)
		return false;
	if (job.refuseWhenFull && !job.stop && queue.full()) {
		qCInfo(lcCamera, "Camera %d is not keeping up; %s refused", slotNumber, job.name.constData());
		return false;
	}
	noteSubmitted(job);
	const QByteArray name = job.name;
	const int dropped = queue.push(std::move(job), behind);
	if (dropped > 0 && !overflowLogged) {
		overflowLogged = true;
		qCInfo(lcCamera, "Camera %d is not keeping up; dropped %d waiting command(s), latest %s", slotNumber,
		       dropped, name.constData());
	}
	wake.notify_one();
	return true;
}

void CameraWorker::discardPending()
{
	std::lock_guard<std::mutex> lock(mutex);
	const int discarded = queue.discardAllButStops();
	if (discarded > 0)
		qCDebug(lcCamera, "Camera %d left: %d waiting command(s) discarded", slotNumber, discarded);
}

void CameraWorker::setWatched(bool watch)
{
	std::lock_guard<std::mutex> lock(mutex);
	watched = watch;
	lost = false;
	lastActivity = nextProbe = Clock::now();
	wake.notify_one();
}

QList<QByteArray> CameraWorker::pendingJobNames() const
{
	std::lock_guard<std::mutex> lock(mutex);
	return queue.names();
}

bool CameraWorker::isIdle() const
{
	std::lock_guard<std::mutex> lock(mutex);
	return !busy && queue.empty();
}

bool CameraWorker::isMoving(CameraLane lane) const
{
	std::lock_guard<std::mutex> lock(mutex);
	const LaneMotion *motionNow = motionOf(lane);
	return motionNow && (motionNow->moveSubmitted || motionNow->moving);
}

CameraWorker::LaneMotion *CameraWorker::motionOf(CameraLane lane)
{
	return const_cast<LaneMotion *>(static_cast<const CameraWorker *>(this)->motionOf(lane));
}

const CameraWorker::LaneMotion *CameraWorker::motionOf(CameraLane lane) const
{
	switch (lane) {
	case CameraLane::PanTilt:
		return &motion[0];
	case CameraLane::Zoom:
		return &motion[1];
	case CameraLane::Focus:
		return &motion[2];
	default:
		return nullptr;
	}
}

void CameraWorker::noteSubmitted(CameraJob &job)
{
	LaneMotion *lane = motionOf(job.lane);
	if (!lane)
		return;
	const bool stillAtRest = !lane->moveSubmitted && !lane->moving;
	// A move that a held stop waited for goes before that stop: the lane's last word is still the stop.
	if (!job.stop && queue.endsWithHeldStop(job.lane))
		return;
	lane->moveSubmitted = !job.stop;
	if (job.stop && job.mayOvertake && stillAtRest)
		job.heldUntil = Clock::now() + std::chrono::milliseconds(options.overtakeWaitMs);
}

void CameraWorker::queueStopsForMovingLanes()
{
	for (CameraLane laneId : {CameraLane::PanTilt, CameraLane::Zoom, CameraLane::Focus}) {
		const LaneMotion *lane = motionOf(laneId);
		if ((lane->moveSubmitted || lane->moving) && !queue.endsWithStop(laneId))
			queue.push(CameraJob::fromCommand(CameraCommands::stopFor(laneId), 0));
	}
}

void CameraWorker::beginShutdown()
{
	if (shutDown)
		return;
	{
		std::lock_guard<std::mutex> lock(mutex);
		closing = true;
		queue.discardAllButStops();
		// Whatever was told to move stops before the worker ends, even when nobody asked for the stop yet.
		queueStopsForMovingLanes();
		wake.notify_one();
	}
	// Every wait on the worker's thread (receives, pauses, identification) returns at once from now on.
	thread->requestInterruption();
}

void CameraWorker::finishShutdown()
{
	if (shutDown)
		return;
	shutDown = true;
	thread->wait();
	{
		// QThread::wait joins out of a thread checker's sight; the flag hands the thread's last writes over.
		std::lock_guard<std::mutex> lock(mutex);
		Q_ASSERT(finished);
	}
	delete thread;
	thread = nullptr;
}

void CameraWorker::deliver(std::function<void()> followUp)
{
	if (followUp)
		QMetaObject::invokeMethod(this, std::move(followUp), Qt::QueuedConnection);
}

// ------------------------------------------------------------------------------------------------ worker thread

void CameraWorker::run()
{
	std::unique_lock<std::mutex> lock(mutex);
	for (;;) {
		const Clock::time_point now = Clock::now();
		// Ending, a held stop waits no longer.
		if (!queue.empty() && (closing || queue.readyAt() <= now)) {
			CameraJob job = queue.takeNext();
			busy = true;
			lock.unlock();
			runJob(job);
			lock.lock();
			busy = false;
			lastActivity = Clock::now();
			if (queue.empty())
				overflowLogged = false;
			continue;
		}
		if (closing)
			break;
		if (queue.empty() && stopOwed() && nextStopRetry <= now) {
			lock.unlock();
			retryStops();
			lock.lock();
			nextStopRetry = Clock::now() + std::chrono::milliseconds(options.stopRetryMs);
			continue;
		}
		const Clock::time_point monitorAt = nextWake();
		if (monitorAt <= now) {
			const bool watchdogDue = watched && !lost && now >= lastActivity + watchdogInterval();
			lock.unlock();
			if (watchdogDue)
				runWatchdog();
			else
				runProbe();
			lock.lock();
			continue;
		}
		Clock::time_point wakeAt = monitorAt;
		if (!queue.empty())
			wakeAt = std::min(wakeAt, queue.readyAt());
		if (stopOwed())
			wakeAt = std::min(wakeAt, nextStopRetry);
		if (wakeAt == Clock::time_point::max())
			wake.wait(lock);
		else
			wake.wait_until(lock, wakeAt);
	}
	lock.unlock();
	// The link's socket belongs to this thread.
	link.reset();
	lock.lock();
	finished = true;
}

bool CameraWorker::stopOwed() const
{
	return std::any_of(motion.begin(), motion.end(), [](const LaneMotion &lane) { return lane.stopUnanswered; });
}

void CameraWorker::retryStops()
{
	for (CameraLane laneId : {CameraLane::PanTilt, CameraLane::Zoom, CameraLane::Focus}) {
		{
			std::lock_guard<std::mutex> lock(mutex);
			if (!motionOf(laneId)->stopUnanswered)
				continue;
		}
		CameraJob stop = CameraJob::fromCommand(CameraCommands::stopFor(laneId), 0);
		stop.name = "repeated " + stop.name;
		runJob(stop);
	}
}

CameraWorker::Clock::time_point CameraWorker::nextWake() const
{
	// Nothing to watch: sleep until a job comes.
	// A camera that stopped answering is probed whoever drives it, so that it is taken back when it answers.
	Clock::time_point at = Clock::time_point::max();
	if (!link)
		return at;
	if (watched && !lost)
		at = lastActivity + watchdogInterval();
	if ((watched && lost) || !linkAnswering)
		at = std::min(at, nextProbe);
	return at;
}

void CameraWorker::runJob(CameraJob &job)
{
	CameraJob::FollowUp followUp;
	if (job.setUp) {
		followUp = job.setUp();
	} else if (link) {
		const quint64 before = link->exchangeCount();
		qCDebug(lcCamera, "Camera %d: %s", slotNumber, job.name.constData());
		followUp = job.run(*link);
		const bool exchanged = link->exchangeCount() != before;
		if (exchanged)
			noteHealth(link->lastExchangeAnswered());
		noteMotion(job, exchanged && link->lastExchangeAnswered());
		if (job.pauseAfter)
			pause(options.commandPauseMs);
	}
	deliver(std::move(followUp));
}

void CameraWorker::noteMotion(const CameraJob &job, bool answered)
{
	std::lock_guard<std::mutex> lock(mutex);
	LaneMotion *lane = motionOf(job.lane);
	if (!lane)
		return;
	if (!job.stop) {
		lane->moving = true;
		lane->stopUnanswered = false;
		return;
	}
	const bool wasUnanswered = lane->stopUnanswered;
	lane->stopUnanswered = !answered;
	lane->moving = !answered;
	if (answered && wasUnanswered)
		qCInfo(lcCamera, "Camera %d answered the stop it was sent again", slotNumber);
	if (!answered && !wasUnanswered) {
		nextStopRetry = Clock::now() + std::chrono::milliseconds(options.stopRetryMs);
		qCInfo(lcCamera, "Camera %d did not answer %s; it is sent again until it does", slotNumber,
		       job.name.constData());
	}
}

CameraJob::FollowUp CameraWorker::connectLink(const QString &address, const ConnectDone &done)
{
	ConnectResult result;
	result.address = address;

	CameraParse parse(options.cameraPort);
	const CamParamMap found = parse.parseCamera(address);
	viscaGeneralOps *ops = found.empty() ? nullptr : found.begin()->second.second;
	if (found.empty()) {
		result.outcome = ConnectResult::Outcome::NotAnswering;
	} else if (!ops || !ops->isValid()) {
		delete ops;
		result.outcome = ConnectResult::Outcome::NoProfile;
		result.model = QString::fromStdString(found.begin()->second.first);
	} else {
		result.outcome = ConnectResult::Outcome::Connected;
		result.ops.reset(ops);
		result.model = QString::fromStdString(ops->getNAME());
		link = ViscaIPFactory::viscaIPModule(result.model);
		// Its answer says nothing the identification did not: the HX7 never answers the probe.
		link->onConnectToCamera(address, options.cameraPort);
		result.reading.readAll(*link);
		linkAnswering = true;
	}
	return [this, result, done]() {
		const bool connected = result.outcome == ConnectResult::Outcome::Connected;
		if (connected) {
			connectedAddress = result.address;
			connectedModel = result.model;
			connectedOps = result.ops;
			answering = true;
		}
		if (done)
			done(result);
		if (connected)
			emit linkReady();
	};
}

void CameraWorker::noteHealth(bool heard)
{
	if (heard == linkAnswering)
		return;
	linkAnswering = heard;
	{
		std::lock_guard<std::mutex> lock(mutex);
		behind = !heard;
		nextProbe = Clock::now() + std::chrono::milliseconds(options.probeIntervalMs);
	}
	if (heard)
		qCInfo(lcCamera, "Camera %d answers again", slotNumber);
	else
		qCInfo(lcCamera, "Camera %d is not answering", slotNumber);
	deliver([this, heard]() {
		answering = heard;
		emit answeringChanged(heard);
	});
}

void CameraWorker::runWatchdog()
{
	bool powered = false;
	for (int check = 0; check < options.powerChecks && !powered; ++check) {
		powered = link->isPowerOK();
		// The first silent check already tells the operator; the camera is given up only after the last.
		noteHealth(link->lastExchangeAnswered());
		if (!powered)
			pause(options.powerCheckPauseMs);
	}
	std::lock_guard<std::mutex> lock(mutex);
	lastActivity = Clock::now();
	if (powered || !watched)
		return;
	lost = true;
	nextProbe = Clock::now() + std::chrono::milliseconds(options.probeIntervalMs);
	qCInfo(lcCamera, "Camera %d connection lost: %d power checks failed", slotNumber, options.powerChecks);
	deliver([this]() { emit connectionLost(); });
}

void CameraWorker::runProbe()
{
	const bool powered = link->isPowerOK();
	noteHealth(link->lastExchangeAnswered());
	std::lock_guard<std::mutex> lock(mutex);
	nextProbe = Clock::now() + std::chrono::milliseconds(options.probeIntervalMs);
	if (!lost || !powered || !watched)
		return;
	lost = false;
	lastActivity = Clock::now();
	qCInfo(lcCamera, "Camera %d answers again after the connection was lost", slotNumber);
	deliver([this]() { emit answeringAgain(); });
}

void CameraWorker::pause(int ms) const
{
	QElapsedTimer clock;
	clock.start();
	for (qint64 left = ms; left > 0 && !QThread::currentThread()->isInterruptionRequested();
	     left = ms - clock.elapsed())
		QThread::msleep(static_cast<unsigned long>(std::min(left, kPauseSliceMs)));
}
