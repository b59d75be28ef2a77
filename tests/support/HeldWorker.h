#pragma once

// A camera's worker held busy by a job of the test's, so that the test sees what waits for it, then let go.

#include "control/CameraWorker.h"

#include <QTest>

#include <future>

class HeldWorker {
public:
	// Holds `worker` once it has taken the holding job; held() tells whether it did.
	explicit HeldWorker(CameraWorker &worker)
	{
		std::shared_future<void> released = gate.get_future().share();
		taken = worker.submit(CameraJob::inquiry("held", [released](viscaIpModule &) {
			released.wait();
			return CameraJob::FollowUp();
		})) && QTest::qWaitFor([&worker] { return worker.pendingJobNames().isEmpty(); }, 10000);
	}
	~HeldWorker() { release(); }
	HeldWorker(const HeldWorker &) = delete;
	HeldWorker &operator=(const HeldWorker &) = delete;

	bool held() const { return taken; }
	void release()
	{
		if (!released) {
			released = true;
			gate.set_value();
		}
	}

private:
	std::promise<void> gate;
	bool taken = false;
	bool released = false;
};
