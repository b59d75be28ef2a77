#include "control/CameraPool.h"

#include <QJsonObject>
#include <QThread>

CameraPool::CameraPool(const CameraWorker::Options &options, Caption caption, QObject *parent)
    : QObject(parent), options(options), captionOf(std::move(caption))
{
	qRegisterMetaType<CameraOrigin>();
	// Every door is there from the start, so that any thread finds it; a worker waits without cost until used.
	for (int slot = 1; slot <= kSlots; ++slot) {
		auto *made = new CameraDoor(slot, new CameraWorker(slot, options, this), this);
		doors[size_t(slot - 1)] = made;
		connect(made, &CameraDoor::presetCalled, this, &CameraPool::presetCalled);
		connect(made, &CameraDoor::presetStored, this, &CameraPool::presetStored);
		connect(made, &CameraDoor::heldBack, this, &CameraPool::heldBack);
		connect(made, &CameraDoor::statusChanged, this, &CameraPool::cameraStatusChanged);
		connect(made, &CameraDoor::linked, this, &CameraPool::cameraLinked);
		connect(made, &CameraDoor::notice, this, &CameraPool::notice);
	}
	// The slots' names and addresses live in the settings.
	connect(SettingsFile::notifier(), &SettingsNotifier::changed, this, &CameraPool::camerasChanged);
}

CameraPool::~CameraPool()
{
	shutdown();
}

bool CameraPool::protectsEveryone()
{
	return SettingsFile::read().value(QLatin1String(kProtectionKey)).toBool(true);
}

CameraDoor *CameraPool::door(int slot) const
{
	if (slot < 1 || slot > kSlots)
		return nullptr;
	std::lock_guard<std::mutex> lock(mutex);
	return closed ? nullptr : doors[size_t(slot - 1)];
}

CameraWorker *CameraPool::worker(int slot) const
{
	const CameraDoor *slotDoor = door(slot);
	return slotDoor ? slotDoor->worker() : nullptr;
}

QString CameraPool::caption(int slot) const
{
	return captionOf ? captionOf(slot) : SettingsFile::slotName(slot);
}

QList<CameraDoor::Info> CameraPool::cameras() const
{
	QList<CameraDoor::Info> list;
	for (const CameraDoor *slotDoor : doors)
		list << slotDoor->info();
	return list;
}

void CameraPool::setLiveAddresses(const QSet<QString> &addresses)
{
	{
		std::lock_guard<std::mutex> lock(mutex);
		if (addresses == live)
			return;
		live = addresses;
	}
	emit camerasChanged();
}

bool CameraPool::isLive(const QString &address) const
{
	std::lock_guard<std::mutex> lock(mutex);
	return !address.isEmpty() && live.contains(address);
}

void CameraPool::shutdown()
{
	{
		std::lock_guard<std::mutex> lock(mutex);
		if (closed)
			return;
		closed = true;
	}
	// Ending all first and joining afterwards bounds the whole shutdown by the slowest worker, not their sum. The
	// doors stay until the pool goes: a request on its way still finds one, and its worker takes nothing more.
	for (CameraDoor *slotDoor : doors)
		slotDoor->worker()->beginShutdown();
	for (CameraDoor *slotDoor : doors)
		slotDoor->worker()->finishShutdown();
}
