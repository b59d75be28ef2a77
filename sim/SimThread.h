#pragma once

#include <QThread>

#include <functional>

class QObject;

// One event-loop thread that hosts simulated devices (camera endpoints now; a discovery responder or a fleet of
// cameras can live on the same thread later). Tests block their own thread in camera exchanges, so the devices
// must never depend on the caller's event loop. A QCoreApplication must exist while the thread runs.
class SimThread {
public:
	SimThread();
	~SimThread();
	SimThread(const SimThread &) = delete;
	SimThread &operator=(const SimThread &) = delete;

	void start();
	void stop(); // ends the event loop and joins; objects still living on the thread must be gone by then

	QThread *thread() { return &loopThread; }

	// Runs `work` on the thread and returns when it has finished; runs it at once when called on the thread.
	void runBlocking(const std::function<void()> &work);

private:
	QThread loopThread;
	QObject *context = nullptr; // lives on the thread; the target of runBlocking calls
};
