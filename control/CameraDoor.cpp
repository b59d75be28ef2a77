#include "control/CameraDoor.h"

#include "camera/CameraLog.h"
#include "camera/viscaGeneralOps.h"
#include "control/CameraPool.h"
#include "control/CameraSpeeds.h"
#include "settings/OutsideText.h"
#include "settings/SettingsFile.h"
#include "visca/viscaIpModule.h"

#include <QJsonObject>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace {

QString storedAddress(int slot)
{
	return SettingsFile::read().value(SettingsFile::addressKey(slot)).toString();
}

int laneIndex(CameraLane lane)
{
	return lane == CameraLane::PanTilt ? 0 : lane == CameraLane::Zoom ? 1 : lane == CameraLane::Focus ? 2 : -1;
}

void dropCaller(QList<CameraCaller> &callers, const CameraCaller &caller)
{
	for (int i = int(callers.size()) - 1; i >= 0; --i)
		if (callers.at(i).sameInput(caller))
			callers.removeAt(i);
}

} // namespace

CameraDoor::CameraDoor(int slot, CameraWorker *worker, CameraPool *pool)
    : QObject(pool), slotNumber(slot), cameraWorker(worker), pool(pool)
{
	connect(worker, &CameraWorker::linkReady, this, [this]() {
		{
			std::lock_guard<std::mutex> lock(mutex);
			lost = false;
		}
		reportStatus();
		emit linked(slotNumber);
	});
	connect(worker, &CameraWorker::answeringChanged, this, &CameraDoor::reportStatus);
	connect(worker, &CameraWorker::connectionLost, this, [this]() {
		{
			std::lock_guard<std::mutex> lock(mutex);
			lost = true;
		}
		reportStatus();
	});
	connect(worker, &CameraWorker::answeringAgain, this, [this]() {
		{
			std::lock_guard<std::mutex> lock(mutex);
			lost = false;
		}
		reportStatus();
	});
}

CameraDoor::Lane *CameraDoor::laneOf(CameraLane lane)
{
	const int index = laneIndex(lane);
	return index < 0 ? nullptr : &lanes[size_t(index)];
}

CameraDoor::Info CameraDoor::info() const
{
	Info info;
	info.slot = slotNumber;
	info.name = pool->caption(slotNumber);
	info.address = storedAddress(slotNumber);
	info.live = !info.address.isEmpty() && pool->isLive(info.address);
	// A camera not identified yet is asked whether it answers all the same (it is watched).
	info.answering = !info.address.isEmpty() && cameraWorker->isAnswering();
	if (cameraWorker->hasLink()) {
		std::lock_guard<std::mutex> lock(mutex);
		info.model = cameraWorker->model();
		info.connected = !lost && cameraWorker->address() == info.address;
		info.answering = info.answering && !lost;
	}
	return info;
}

// ------------------------------------------------------------------------------------------------ entering

CameraDoor::Order CameraDoor::orderOf(CameraJob job, const char *what)
{
	Order order;
	order.what = what;
	order.lane = job.lane;
	order.stop = job.stop;
	order.changesTheShot = job.changesTheShot;
	order.make = [job = std::move(job)](const viscaGeneralOps &) { return job; };
	return order;
}

CameraDoor::Outcome CameraDoor::enter(const CameraCommand &command, int value, const CameraCaller &caller)
{
	return enter(CameraJob::fromCommand(command, value), caller);
}

CameraDoor::Outcome CameraDoor::enter(CameraJob job, const CameraCaller &caller)
{
	const char *what = job.stop ? "a stop" : isDriveLane(job.lane) ? "a move" : "a command";
	return admit(orderOf(std::move(job), what), caller);
}

CameraDoor::Outcome CameraDoor::moveAtSpeeds(CameraCommands::Direction direction, std::optional<int> panSpeed,
					     std::optional<int> tiltSpeed, const CameraCaller &caller)
{
	const CameraCommand command = CameraCommands::moveAtSpeeds(direction);
	Order order;
	order.what = "a move";
	order.lane = command.lane;
	order.changesTheShot = command.changesTheShot;
	order.make = [command, panSpeed, tiltSpeed](const viscaGeneralOps &ops) {
		return CameraJob::fromCommand(command, CameraCommands::speedsValue(ops, panSpeed, tiltSpeed));
	};
	return admit(order, caller);
}

CameraDoor::Outcome CameraDoor::callPreset(int preset, const CameraCaller &caller, CameraJob::ConfirmAnswer answer)
{
	return presetCommand(false, preset, caller, std::move(answer));
}

CameraDoor::Outcome CameraDoor::storePreset(int preset, const CameraCaller &caller, CameraJob::ConfirmAnswer answer)
{
	return presetCommand(true, preset, caller, std::move(answer));
}

CameraDoor::Outcome CameraDoor::presetCommand(bool store, int preset, const CameraCaller &caller,
					      CameraJob::ConfirmAnswer answer)
{
	const CameraCommand command = store ? CameraCommands::presetSave() : CameraCommands::presetRecall();
	CameraJob job = answer ? CameraJob::confirmed(command, preset, std::move(answer))
			       : CameraJob::fromCommand(command, preset);
	const Outcome outcome = admit(orderOf(std::move(job), store ? "a preset store" : "a preset call"), caller);
	if (!outcome.ok)
		return outcome;
	// The slot as the window names it, and its number.
	qCInfo(lcCamera, "Preset %d %s on %s (slot %d) from a %s", preset, store ? "stored" : "called",
	       OutsideText::quoted(pool->caption(slotNumber)).constData(), slotNumber,
	       qUtf8Printable(originName(caller.origin)));
	if (store)
		emit presetStored(slotNumber, preset, caller.origin);
	else
		emit presetCalled(slotNumber, preset, caller.origin);
	return outcome;
}

CameraDoor::Outcome CameraDoor::tally(bool on, std::function<void(TallyResult)> answer)
{
	CameraJob job;
	job.name = on ? "tallyOn" : "tallyOff";
	job.lane = CameraLane::Setting;
	job.settingKey = "tally";
	job.pauseAfter = true;
	job.urgent = true;
	job.run = [on, answer](viscaIpModule &link) -> CameraJob::FollowUp {
		link.setTally(on);
		const TallyResult result = link.lastExchangeOk()        ? TallyResult::Lit
					   : link.lastExchangeRefused() ? TallyResult::Refused
									: TallyResult::NotDelivered;
		return [answer, result]() { answer(result); };
	};
	Order order = orderOf(std::move(job), "a tally lamp switch");
	order.dropped = [answer]() { answer(TallyResult::NotDelivered); };
	return admit(order, CameraCaller{CameraOrigin::Tally});
}

CameraDoor::Outcome CameraDoor::admit(const Order &order, const CameraCaller &caller)
{
	const QString address = storedAddress(slotNumber);
	bool heldBackNow = false;
	Outcome outcome;
	{
		std::lock_guard<std::mutex> lock(mutex);
		outcome = check(order, caller, address, &heldBackNow);
		if (outcome.ok) {
			noteHolders(order, caller);
			const bool stopFollows = noteProgramOrder(order, caller);
			outcome = hand(order, address);
			if (outcome.ok && stopFollows) {
				qCDebug(lcCamera,
					"Camera %d: a program's move came after its stop; it is stopped again",
					slotNumber);
				handStop(order.lane, address);
			}
		}
	}
	if (heldBackNow)
		emit heldBack(slotNumber, caller.origin);
	if (!outcome.ok && address.isEmpty() && caller.origin != CameraOrigin::Request) {
		const QString text = tr("%1 has no camera address; %2 for it was not sent.")
					     .arg(pool->caption(slotNumber), order.what);
		qCWarning(lcCamera, "%s", qUtf8Printable(text));
		emit notice(text);
	}
	return outcome;
}

CameraDoor::Outcome CameraDoor::check(const Order &order, const CameraCaller &caller, const QString &address,
				      bool *heldBackNow)
{
	if (address.isEmpty())
		return Outcome::refused(QStringLiteral("slot %1 has no camera address").arg(slotNumber));
	const bool linked = cameraWorker->hasLink() && cameraWorker->address() == address;
	// A stop still goes to a silent camera: it is sent again until the camera answers. The operator's controls
	// are only offered while the camera is in use.
	if (!order.stop && linked && !isOperator(caller.origin) && (lost || !cameraWorker->isAnswering()))
		return Outcome::refused(
			QStringLiteral("the camera of slot %1 (%2) is not answering").arg(slotNumber).arg(address));
	if (order.changesTheShot && pool->isLive(address) && !mayChangeTheShot(caller)) {
		*heldBackNow = true;
		return Outcome::refused(
			QStringLiteral("the camera of slot %1 is live on program in Studio Mode").arg(slotNumber));
	}
	return {};
}

bool CameraDoor::mayChangeTheShot(const CameraCaller &caller)
{
	switch (caller.origin) {
	case CameraOrigin::Window:
		return caller.deliberate;
	case CameraOrigin::Hotkey:
	case CameraOrigin::Gamepad:
	case CameraOrigin::Request:
		return !CameraPool::protectsEveryone();
	default:
		// A scene's preset never moves the camera on air; the lamps and the controller's stops change no shot.
		return false;
	}
}

bool CameraDoor::noteProgramOrder(const Order &order, const CameraCaller &caller)
{
	Lane *lane = caller.origin == CameraOrigin::Request ? laneOf(order.lane) : nullptr;
	if (!lane)
		return false;
	if (order.stop) {
		// Nothing of theirs moves: this stop overtook the move it ends, which is still on its way.
		if (!lane->requestMoving)
			++lane->requestStopsAhead;
		lane->requestMoving = false;
		return false;
	}
	const bool stopCameFirst = lane->requestStopsAhead > 0;
	lane->requestStopsAhead -= stopCameFirst ? 1 : 0;
	lane->requestMoving = !stopCameFirst;
	return stopCameFirst;
}

void CameraDoor::noteHolders(const Order &order, const CameraCaller &caller)
{
	Lane *lane = laneOf(order.lane);
	if (!lane)
		return;
	if (order.stop) {
		lane->holders.clear();
		return;
	}
	if (!isOperator(caller.origin))
		return;
	dropCaller(lane->cutOff, caller);
	dropCaller(lane->holders, caller);
	lane->holders << caller;
}

CameraDoor::Outcome CameraDoor::hand(const Order &order, const QString &address)
{
	const std::shared_ptr<viscaGeneralOps> ops = cameraWorker->capabilities();
	// Orders that wait for the camera's identification go first.
	if (ops && cameraWorker->address() == address && !identifying) {
		if (!cameraWorker->submit(order.make(*ops)))
			return Outcome::refused(
				QStringLiteral(
					"the camera of slot %1 has too many commands waiting; this one was not taken")
					.arg(slotNumber));
		return {};
	}
	// The camera is identified first; what was asked of it waits for that, in order, within the worker's bound.
	if (waiting.size() >= pool->workerOptions().maxJobs)
		return Outcome::refused(
			QStringLiteral("the camera of slot %1 has too many commands waiting; this one was not taken")
				.arg(slotNumber));
	waiting << order;
	if (!identifying)
		startIdentification(address);
	return {};
}

bool CameraDoor::handStop(CameraLane lane, const QString &address)
{
	return hand(orderOf(CameraJob::fromCommand(CameraCommands::stopFor(lane), 0), "a stop"), address).ok;
}

// ------------------------------------------------------------------------------------------------ releasing

CameraDoor::Release CameraDoor::release(CameraLane laneId, const CameraCaller &caller)
{
	std::lock_guard<std::mutex> lock(mutex);
	Lane *lane = laneOf(laneId);
	if (!lane)
		return Release::NotHeld;
	const auto holds = [&caller](const QList<CameraCaller> &callers) {
		return std::any_of(callers.begin(), callers.end(),
				   [&caller](const CameraCaller &other) { return other.sameInput(caller); });
	};
	const bool wasCutOff = holds(lane->cutOff);
	dropCaller(lane->cutOff, caller);
	if (!holds(lane->holders))
		return wasCutOff ? Release::AlreadyStopped : Release::NotHeld;
	lane->holders.clear();
	handStop(laneId, storedAddress(slotNumber));
	return Release::Stopped;
}

void CameraDoor::stopOperatorLanes()
{
	std::lock_guard<std::mutex> lock(mutex);
	const QString address = storedAddress(slotNumber);
	for (CameraLane laneId : {CameraLane::PanTilt, CameraLane::Zoom, CameraLane::Focus}) {
		Lane *lane = laneOf(laneId);
		if (lane->holders.isEmpty())
			continue;
		lane->cutOff << lane->holders;
		lane->holders.clear();
		handStop(laneId, address);
	}
}

bool CameraDoor::stopMovingLanes(const QString &why)
{
	std::lock_guard<std::mutex> lock(mutex);
	const QString address = storedAddress(slotNumber);
	bool stopped = false;
	for (CameraLane laneId : {CameraLane::PanTilt, CameraLane::Zoom, CameraLane::Focus}) {
		if (!cameraWorker->isMoving(laneId))
			continue;
		Lane *lane = laneOf(laneId);
		lane->cutOff << lane->holders;
		lane->holders.clear();
		lane->requestMoving = false;
		stopped = handStop(laneId, address) || stopped;
	}
	if (stopped)
		qCInfo(lcCamera, "Camera %d was stopped: %s", slotNumber, qUtf8Printable(why));
	return stopped;
}

// ------------------------------------------------------------------------------------------------ identification

bool CameraDoor::isSettled() const
{
	std::lock_guard<std::mutex> lock(mutex);
	return !identifying && waiting.isEmpty() && cameraWorker->isIdle();
}

void CameraDoor::startIdentification(const QString &address)
{
	identifying = true;
	qCInfo(lcCamera, "Camera %d (%s) is identified in the background", slotNumber,
	       OutsideText::escaped(address, OutsideText::kLoggedLength).constData());
	QPointer<CameraDoor> self(this);
	cameraWorker->connectTo(address, [self](const CameraWorker::ConnectResult &result) {
		if (self)
			self->onIdentified(result);
	});
}

void CameraDoor::onIdentified(const CameraWorker::ConnectResult &result)
{
	QList<Order> dropped;
	{
		// Under the lock: an order that comes meanwhile waits behind these, never ahead of them.
		std::lock_guard<std::mutex> lock(mutex);
		identifying = false;
		if (result.outcome == CameraWorker::ConnectResult::Outcome::Connected) {
			applyStoredSpeeds();
			for (const Order &order : std::as_const(waiting))
				cameraWorker->submitTaken(order.make(*result.ops));
			waiting.clear();
		} else {
			std::swap(dropped, waiting);
		}
	}
	if (!dropped.isEmpty()) {
		const QString text = tr("%1 (%2) did not answer; what was asked of it was not sent.")
					     .arg(pool->caption(slotNumber), result.address);
		qCWarning(lcCamera, "%s", qUtf8Printable(text));
		emit notice(text);
		for (const Order &order : dropped)
			if (order.dropped)
				order.dropped();
	}
	reportStatus();
}

void CameraDoor::applyStoredSpeeds()
{
	// The camera moves as the operator set it up in the window: the speeds stored for its address and model.
	const CameraSpeeds speeds = CameraSpeeds::stored(
		SettingsFile::read(), cameraWorker->address() + cameraWorker->model(), *cameraWorker->capabilities());
	cameraWorker->submitTaken(CameraJob::inquiry("stored speeds", [speeds](viscaIpModule &link) {
		link.setPanSpeed(speeds.pan);
		link.setTiltSpeed(speeds.tilt);
		link.setZoomSpeed(speeds.zoom);
		link.setFocusSpeed(speeds.focus);
		return CameraJob::FollowUp();
	}));
	if (speeds.presetSpeed >= 0)
		cameraWorker->submitTaken(CameraJob::fromCommand(CameraCommands::presetSpeed(), speeds.presetSpeed));
}

void CameraDoor::reportStatus()
{
	const Info now = info();
	emit statusChanged(slotNumber, now.connected, now.answering);
}
