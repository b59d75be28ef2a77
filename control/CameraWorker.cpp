#include "control/CameraWorker.h"

#include "camera/CameraLog.h"
#include "camera/CameraParse.h"
#include "camera/ViscaIPFactory.h"
#include "camera/viscaGeneralOps.h"
#include "control/EmergencyStops.h"
#include "settings/SettingsFile.h"
#include "visca/viscaIpModule.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <utility>

namespace {

// How often a pause looks whether the worker is ending.
constexpr qint64 kPauseSliceMs = 20;
// Beyond the exit budget, how long the owner waits for a worker in the middle of an exchange before cutting it short.
constexpr int kExitMarginMs = 500;

constexpr CameraLane kDriveLanes[] = {CameraLane::PanTilt, CameraLane::Zoom, CameraLane::Focus};

int laneIndex(CameraLane lane)
{
	switch (lane) {
	case CameraLane::PanTilt:
		return 0;
	case CameraLane::Zoom:
		return 1;
	case CameraLane::Focus:
		return 2;
	default:
		return -1;
	}
}

viscaIpModule::Drive driveOf(CameraLane lane)
{
	return lane == CameraLane::Zoom    ? viscaIpModule::Drive::Zoom
	       : lane == CameraLane::Focus ? viscaIpModule::Drive::Focus
					   : viscaIpModule::Drive::PanTilt;
}

} // namespace

CameraWorker::Options::Options() : cameraPort(viscaIpModule::kViscaPort), commandPauseMs(viscaIpModule::kCommandPauseMs)
{
}

CameraWorker::CameraWorker(int slot, const Options &options, QObject *parent)
    : QObject(parent), slotNumber(slot), options(options), emergencyPlace(EmergencyStops::claim()),
      queue(options.maxJobs)
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
	EmergencyStops::release(emergencyPlace);
}

// ------------------------------------------------------------------------------------------------ any thread

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

QString CameraWorker::address() const
{
	std::lock_guard<std::mutex> lock(mutex);
	return connectedAddress;
}

QString CameraWorker::model() const
{
	std::lock_guard<std::mutex> lock(mutex);
	return connectedModel;
}

std::shared_ptr<viscaGeneralOps> CameraWorker::capabilities() const
{
	std::lock_guard<std::mutex> lock(mutex);
	return connectedOps;
}

bool CameraWorker::hasLink() const
{
	std::lock_guard<std::mutex> lock(mutex);
	return !connectedModel.isEmpty();
}

bool CameraWorker::isAnswering() const
{
	std::lock_guard<std::mutex> lock(mutex);
	return answering;
}

bool CameraWorker::submit(CameraJob job)
{
	return queueJob(std::move(job), false);
}

bool CameraWorker::submitTaken(CameraJob job)
{
	return queueJob(std::move(job), true);
}

bool CameraWorker::queueJob(CameraJob job, bool taken)
{
	std::lock_guard<std::mutex> lock(mutex);
	if (closing || connectedModel.isEmpty())
		return false;
	const bool drive = isDriveLane(job.lane);
	const CameraLane lane = job.lane;
	const bool stop = job.stop;
	if (!queue.push(std::move(job), taken)) {
		qCInfo(lcCamera, "Camera %d is not keeping up: %d commands wait; a new one was refused", slotNumber,
		       queue.size());
		return false;
	}
	if (drive)
		motionOf(lane)->moveSubmitted = !stop;
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

void CameraWorker::setWatch(Watch watch, const QString &address)
{
	std::lock_guard<std::mutex> lock(mutex);
	if (watch == watchLevel && address == watchAddress)
		return;
	watchLevel = watch;
	watchAddress = address;
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

bool CameraWorker::isMoving() const
{
	return std::any_of(std::begin(kDriveLanes), std::end(kDriveLanes),
			   [this](CameraLane lane) { return isMoving(lane); });
}

CameraWorker::LaneMotion *CameraWorker::motionOf(CameraLane lane)
{
	const int index = laneIndex(lane);
	return index < 0 ? nullptr : &motion[size_t(index)];
}

const CameraWorker::LaneMotion *CameraWorker::motionOf(CameraLane lane) const
{
	const int index = laneIndex(lane);
	return index < 0 ? nullptr : &motion[size_t(index)];
}

// ------------------------------------------------------------------------------------------------ owner's side

void CameraWorker::queueStopsForMovingLanes()
{
	for (CameraLane laneId : kDriveLanes) {
		const LaneMotion *lane = motionOf(laneId);
		if ((lane->moveSubmitted || lane->moving) && !queue.hasStop(laneId))
			queue.push(CameraJob::fromCommand(CameraCommands::stopFor(laneId), 0));
	}
}

void CameraWorker::beginShutdown()
{
	if (shutDown)
		return;
	std::lock_guard<std::mutex> lock(mutex);
	if (closing)
		return;
	closing = true;
	exitDeadline = Clock::now() + std::chrono::milliseconds(options.exitBudgetMs);
	queue.discardAllButStops();
	// Whatever was told to move stops before the worker ends, even when nobody asked for the stop yet.
	queueStopsForMovingLanes();
	wake.notify_one();
}

void CameraWorker::finishShutdown()
{
	if (shutDown)
		return;
	shutDown = true;
	Clock::time_point deadline;
	{
		std::lock_guard<std::mutex> lock(mutex);
		deadline = exitDeadline + std::chrono::milliseconds(kExitMarginMs);
	}
	const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
	// A camera that does not answer holds its worker in an exchange: past the budget every wait ends at once.
	if (!thread->wait(QDeadlineTimer(std::max<qint64>(0, left)))) {
		thread->requestInterruption();
		thread->wait();
	}
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
		if (closing) {
			if (runClosing(lock))
				continue;
			break;
		}
		const Clock::time_point now = Clock::now();
		if (!queue.empty()) {
			CameraJob job = queue.takeNext();
			busy = true;
			lock.unlock();
			runJob(job);
			lock.lock();
			busy = false;
			lastActivity = Clock::now();
			continue;
		}
		if (stopOwed() && nextStopRetry <= now) {
			lock.unlock();
			retryStops();
			lock.lock();
			nextStopRetry = Clock::now() + std::chrono::milliseconds(options.stopRetryMs);
			continue;
		}
		const Clock::time_point monitorAt = nextWake();
		if (monitorAt <= now) {
			const bool watchdogDue =
				watchLevel == Watch::InUse && !lost && link && now >= lastActivity + watchdogInterval();
			lock.unlock();
			if (watchdogDue)
				runWatchdog();
			else
				runProbe();
			lock.lock();
			continue;
		}
		Clock::time_point wakeAt = monitorAt;
		if (stopOwed())
			wakeAt = std::min(wakeAt, nextStopRetry);
		if (wakeAt == Clock::time_point::max())
			wake.wait(lock);
		else
			wake.wait_until(lock, wakeAt);
	}
	lock.unlock();
	// The links' sockets belong to this thread.
	link.reset();
	probeLink.reset();
	lock.lock();
	finished = true;
}

bool CameraWorker::runClosing(std::unique_lock<std::mutex> &lock)
{
	// Ending: the stops that wait go out, and those the camera does not answer are sent again until the exit
	// budget is spent; then the worker ends.
	const Clock::time_point now = Clock::now();
	if (now >= exitDeadline)
		return false;
	if (!exitStopsFired) {
		exitStopsFired = true;
		lock.unlock();
		fireStops();
		lock.lock();
		return true;
	}
	if (!queue.empty()) {
		CameraJob job = queue.takeNext();
		lock.unlock();
		runJob(job);
		lock.lock();
		return true;
	}
	if (!stopOwed() || !link)
		return false;
	if (nextStopRetry > now) {
		wake.wait_until(lock, std::min(nextStopRetry, exitDeadline));
		return true;
	}
	lock.unlock();
	retryStops();
	lock.lock();
	nextStopRetry = Clock::now() + std::chrono::milliseconds(options.exitRetryMs);
	return true;
}

void CameraWorker::fireStops()
{
	// Every lane that may move gets its stop at once, before any waits for a camera that may not answer: each
	// lane's stop has left even when the exit budget runs out during the exchanges that follow.
	if (!link)
		return;
	for (CameraLane laneId : kDriveLanes) {
		bool owed = false;
		{
			std::lock_guard<std::mutex> lock(mutex);
			const LaneMotion *lane = motionOf(laneId);
			owed = lane->moveSubmitted || lane->moving || lane->stopUnanswered;
		}
		if (owed) {
			const QByteArray stop = link->stopDatagram(driveOf(laneId));
			link->writeVisca(reinterpret_cast<const uint8_t *>(stop.constData()), int(stop.size()));
		}
	}
}

bool CameraWorker::stopOwed() const
{
	return std::any_of(motion.begin(), motion.end(), [](const LaneMotion &lane) { return lane.stopUnanswered; });
}

void CameraWorker::retryStops()
{
	for (CameraLane laneId : kDriveLanes) {
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
	// A camera that stopped answering is probed whoever drives it, so that it is taken back when it answers; the
	// camera in use gets the watchdog after a quiet spell, an assigned one a cheap question now and then.
	Clock::time_point at = Clock::time_point::max();
	if (watchLevel == Watch::InUse && !lost && !connectedModel.isEmpty())
		at = lastActivity + watchdogInterval();
	if (watchLevel == Watch::Assigned && !watchAddress.isEmpty())
		at = std::min(at,
			      std::max(nextProbe, lastActivity + std::chrono::milliseconds(options.assignedProbeMs)));
	if ((watchLevel == Watch::InUse && lost) || (link && !linkAnswering))
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
	if (!isDriveLane(job.lane))
		return;
	bool keepStop = false;
	bool forgetStop = false;
	{
		std::lock_guard<std::mutex> lock(mutex);
		LaneMotion *lane = motionOf(job.lane);
		if (!job.stop) {
			lane->moving = true;
			lane->stopUnanswered = false;
			keepStop = true;
		} else {
			const bool wasUnanswered = lane->stopUnanswered;
			lane->stopUnanswered = !answered;
			lane->moving = !answered;
			forgetStop = answered;
			if (answered && wasUnanswered)
				qCInfo(lcCamera, "Camera %d answered the stop it was sent again", slotNumber);
			if (!answered && !wasUnanswered) {
				nextStopRetry = Clock::now() + std::chrono::milliseconds(options.stopRetryMs);
				qCInfo(lcCamera, "Camera %d did not answer %s; it is sent again until it does",
				       slotNumber, job.name.constData());
			}
		}
	}
	if (keepStop || forgetStop)
		keepEmergencyStop(job.lane, keepStop);
}

void CameraWorker::keepEmergencyStop(CameraLane lane, bool moving)
{
	EmergencyStops::keep(emergencyPlace, laneIndex(lane), link->cameraAddress(), link->cameraPort(),
			     moving ? link->stopDatagram(driveOf(lane)) : QByteArray(), link->streamDescriptor());
}

CameraJob::FollowUp CameraWorker::connectLink(const QString &address, const ConnectDone &done)
{
	ConnectResult result;
	result.address = address;

	const CameraEndpoint endpoint = endpointFor(address);
	CameraParse parse(endpoint.port, endpoint.dialect);
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
		stopOldLink();
		link = ViscaIPFactory::viscaIPModule(result.model);
		link->setDialect(endpoint.dialect);
		// Its answer says nothing the identification did not: the HX7 never answers the probe.
		link->onConnectToCamera(address, endpoint.port);
		result.reading.readAll(*link);
		linkAnswering = true;
		std::lock_guard<std::mutex> lock(mutex);
		connectedAddress = result.address;
		connectedModel = result.model;
		connectedOps = result.ops;
		answering = true;
	}
	return [this, result, done]() {
		if (done)
			done(result);
		if (result.outcome == ConnectResult::Outcome::Connected)
			emit linkReady();
	};
}

CameraEndpoint CameraWorker::endpointFor(const QString &address) const
{
	// The slot's own dialect and port when the slot holds this address; the usual VISCA over IP otherwise, on the
	// port of the options (tests and tools point a worker at another one).
	const CameraEndpoint stored = CameraEndpoint::ofSlot(SettingsFile::read(), slotNumber);
	const bool usual =
		stored.dialect == CameraDialect::ViscaOverIp && stored.port == CameraEndpoint::kViscaOverIpPort;
	if (stored.address == address && !usual)
		return stored;
	return {address, CameraDialect::ViscaOverIp, options.cameraPort};
}

void CameraWorker::stopOldLink()
{
	if (!link)
		return;
	for (CameraLane laneId : kDriveLanes) {
		{
			std::lock_guard<std::mutex> lock(mutex);
			const LaneMotion *lane = motionOf(laneId);
			if (!lane->moving && !lane->stopUnanswered)
				continue;
		}
		qCInfo(lcCamera, "Camera %d reaches another camera now; the one it set moving is stopped first",
		       slotNumber);
		CameraJob stop = CameraJob::fromCommand(CameraCommands::stopFor(laneId), 0);
		runJob(stop);
		std::lock_guard<std::mutex> lock(mutex);
		*motionOf(laneId) = LaneMotion{};
	}
}

void CameraWorker::noteHealth(bool heard)
{
	if (heard == linkAnswering)
		return;
	linkAnswering = heard;
	bool inUse = false;
	{
		std::lock_guard<std::mutex> lock(mutex);
		nextProbe = Clock::now() + std::chrono::milliseconds(options.probeIntervalMs);
		answering = heard;
		inUse = watchLevel == Watch::InUse;
	}
	if (heard)
		qCInfo(lcCamera, "Camera %d answers again", slotNumber);
	else
		qCInfo(lcCamera, "Camera %d is not answering (%s)", slotNumber, inUse ? "in use" : "not in use");
	deliver([this, heard]() { emit answeringChanged(heard); });
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
	if (powered || watchLevel != Watch::InUse)
		return;
	lost = true;
	nextProbe = Clock::now() + std::chrono::milliseconds(options.probeIntervalMs);
	qCInfo(lcCamera, "Camera %d connection lost: %d power checks failed", slotNumber, options.powerChecks);
	deliver([this]() { emit connectionLost(); });
}

viscaIpModule *CameraWorker::probeTarget()
{
	QString address;
	{
		std::lock_guard<std::mutex> lock(mutex);
		address = watchAddress.isEmpty() ? connectedAddress : watchAddress;
		if (link && address == connectedAddress)
			return link.get();
	}
	if (address.isEmpty())
		return link.get();
	// No link reaches the watched camera yet: a plain one asks it whether it answers.
	if (!probeLink || probeLink->cameraAddress() != QHostAddress(address)) {
		const CameraEndpoint endpoint = endpointFor(address);
		probeLink = std::make_unique<viscaIpModule>();
		probeLink->setDialect(endpoint.dialect);
		probeLink->onConnectToCamera(address, endpoint.port);
	}
	return probeLink.get();
}

void CameraWorker::runProbe()
{
	viscaIpModule *target = probeTarget();
	const bool powered = target && target->isPowerOK();
	if (target)
		noteHealth(target->lastExchangeAnswered());
	std::lock_guard<std::mutex> lock(mutex);
	lastActivity = Clock::now();
	nextProbe = Clock::now() + std::chrono::milliseconds(options.probeIntervalMs);
	if (!lost || !powered || watchLevel != Watch::InUse)
		return;
	lost = false;
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
