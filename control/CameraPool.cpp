#include "control/CameraPool.h"

CameraPool::CameraPool(const CameraWorker::Options &options, QObject *parent) : QObject(parent), options(options) {}

CameraPool::~CameraPool()
{
	shutdown();
}

CameraWorker *CameraPool::worker(int slot)
{
	if (slot < 1 || slot > kSlots)
		return nullptr;
	CameraWorker *&worker = workers[size_t(slot - 1)];
	if (!worker && !closed) {
		worker = new CameraWorker(slot, options, this);
		emit workerMade(slot, worker);
	}
	return worker;
}

CameraWorker *CameraPool::existingWorker(int slot) const
{
	if (slot < 1 || slot > kSlots)
		return nullptr;
	return workers[size_t(slot - 1)];
}

void CameraPool::shutdown()
{
	closed = true;
	// Ending all first and joining afterwards bounds the whole shutdown by the slowest worker, not their sum.
	for (CameraWorker *worker : workers)
		if (worker)
			worker->beginShutdown();
	for (CameraWorker *&worker : workers) {
		delete worker;
		worker = nullptr;
	}
}
