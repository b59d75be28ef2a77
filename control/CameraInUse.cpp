#include "control/CameraInUse.h"

#include "control/CameraPool.h"
#include "settings/OutsideText.h"
#include "settings/SettingsFile.h"

#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>

#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcInUse, "kavren.control")

} // namespace

CameraInUse::CameraInUse(CameraPool *pool, QObject *parent) : QObject(parent), pool(pool) {}

CameraInUse::Start CameraInUse::choose(int slot)
{
	const QString address = SettingsFile::read().value(SettingsFile::addressKey(slot)).toString();
	if (address.isEmpty())
		return Start::NoAddress;
	CameraWorker *worker = pool->worker(slot);
	if (!worker)
		return Start::Closed;
	// The operator turned to another camera: what their inputs hold on the one they leave stops now.
	if (slot != currentSlot)
		stopHeldLanes();
	const quint64 thisAttempt = ++attempt;
	connectingTo = slot;
	watch(worker);
	emit connecting(slot, address);
	QPointer<CameraInUse> self(this);
	worker->connectTo(address, [self, slot, thisAttempt, worker](const CameraWorker::ConnectResult &result) {
		if (self)
			self->onConnectResult(slot, thisAttempt, worker, result);
	});
	return Start::Started;
}

void CameraInUse::letGo(int slot)
{
	if (slot == connectingTo) {
		++attempt;
		connectingTo = 0;
	}
	if (slot != 0 && slot == currentSlot) {
		storeSlot(0);
		leave();
		emit released(slot);
	}
}

void CameraInUse::restore()
{
	const int slot = SettingsFile::read().value(QLatin1String(SettingsFile::kSlotInUseKey)).toInt();
	if (SettingsFile::isSlot(slot))
		choose(slot);
}

void CameraInUse::onConnectResult(int slot, quint64 thisAttempt, CameraWorker *worker,
				  const CameraWorker::ConnectResult &result)
{
	if (thisAttempt != attempt)
		return;
	connectingTo = 0;
	if (result.outcome != CameraWorker::ConnectResult::Outcome::Connected) {
		emit connectFailed(slot, result);
		return;
	}
	storeSlot(slot);
	use(slot, worker, result, true);
}

void CameraInUse::use(int slot, CameraWorker *worker, const CameraWorker::ConnectResult &result, bool fresh)
{
	if (slot != currentSlot)
		leave();
	active = worker;
	currentSlot = slot;
	current = result;
	worker->setWatch(CameraWorker::Watch::InUse, result.address);
	emit connected(slot, fresh);
}

void CameraInUse::leave()
{
	stopHeldLanes();
	// What still waits for the camera the operator leaves is not wanted any more, but a stop still goes out.
	for (CameraWorker *worker : {active, lostWorker}) {
		if (!worker)
			continue;
		worker->discardPending();
		worker->setWatch(CameraWorker::Watch::Assigned, current.address);
	}
	active = lostWorker = nullptr;
	currentSlot = 0;
	current = {};
}

void CameraInUse::stopHeldLanes()
{
	if (CameraDoor *left = pool->door(currentSlot))
		left->stopOperatorLanes();
}

void CameraInUse::watch(CameraWorker *worker)
{
	if (watched.contains(worker))
		return;
	watched << worker;
	connect(worker, &CameraWorker::answeringChanged, this, [this, worker](bool answering) {
		if (worker == active)
			emit answeringChanged(answering);
	});
	connect(worker, &CameraWorker::connectionLost, this, [this, worker]() { onConnectionLost(worker); });
	connect(worker, &CameraWorker::answeringAgain, this, [this, worker]() { onAnsweringAgain(worker); });
	connect(worker, &CameraWorker::linkReady, this, [this, worker]() { onLinkReady(worker); });
}

void CameraInUse::onLinkReady(CameraWorker *worker)
{
	// The slot's link was made anew by another of its users (a scene or a request, after the slot was given
	// another camera): the operator drives the camera the link now reaches, with that model's ranges.
	if ((worker != active && worker != lostWorker) || connectingTo != 0)
		return;
	if (worker->address() == current.address && worker->model() == current.model)
		return;
	CameraWorker::ConnectResult result;
	result.outcome = CameraWorker::ConnectResult::Outcome::Connected;
	result.address = worker->address();
	result.model = worker->model();
	result.ops = worker->capabilities();
	qCInfo(lcInUse, "Camera %d now reaches %s (%s)", currentSlot,
	       OutsideText::escaped(result.address, OutsideText::kLoggedLength).constData(),
	       qUtf8Printable(result.model));
	use(currentSlot, worker, result, false);
}

void CameraInUse::onConnectionLost(CameraWorker *worker)
{
	if (worker != active)
		return;
	// The worker keeps probing the camera quietly; when it answers, the slot is taken back.
	active = nullptr;
	lostWorker = worker;
	emit lost(currentSlot);
}

void CameraInUse::onAnsweringAgain(CameraWorker *worker)
{
	if (worker != lostWorker || connectingTo != 0)
		return;
	lostWorker = nullptr;
	active = worker;
	emit answeringAgain(currentSlot);
}

CameraDoor *CameraInUse::door() const
{
	return active && connectingTo == 0 ? pool->door(currentSlot) : nullptr;
}

bool CameraInUse::press(const CameraCommand &move, int value, const CameraCaller &caller)
{
	CameraDoor *inUse = door();
	return inUse && inUse->enter(move, value, caller).ok;
}

bool CameraInUse::release(CameraLane lane, const CameraCaller &caller)
{
	// The press may have moved a camera the operator has left since: each door knows what its inputs hold, and
	// forgets a hold that leaving the camera ended.
	bool stopped = false;
	for (int slot = 1; slot <= CameraPool::kSlots; ++slot) {
		CameraDoor *slotDoor = pool->door(slot);
		stopped = (slotDoor && slotDoor->release(lane, caller) == CameraDoor::Release::Stopped) || stopped;
	}
	return stopped;
}

bool CameraInUse::drive(const CameraCommand &command, int value, const CameraCaller &caller)
{
	CameraDoor *inUse = door();
	return inUse && inUse->enter(command, value, caller).ok;
}

bool CameraInUse::submit(CameraJob job, const CameraCaller &caller)
{
	CameraDoor *inUse = door();
	return inUse && inUse->enter(std::move(job), caller).ok;
}

void CameraInUse::storeSlot(int slot)
{
	SettingsFile::updateLaterLogged(lcInUse, [slot](QJsonObject &settings) {
		settings[QLatin1String(SettingsFile::kSlotInUseKey)] = slot;
	});
}
