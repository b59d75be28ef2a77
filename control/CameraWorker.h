#pragma once

#include "control/CameraJob.h"
#include "control/CameraJobQueue.h"
#include "control/PanelReading.h"
#include "settings/CameraEndpoint.h"

#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThread;
class viscaGeneralOps;
class viscaIpModule;

// The camera of one slot, driven off the UI thread. The worker owns the camera's link on a thread of its own and
// runs the jobs queued for it one after another, with the pause a camera needs after each command. Follow-ups and
// signals reach the thread that created the worker (the UI thread) as queued calls, so widgets never wait for a
// camera and never touch the link. Jobs may be queued from any thread.
//
// The worker also watches its camera: every exchange tells whether the camera answered (answeringChanged). The
// camera in use is asked for its power state after a quiet second and given up after three failed checks
// (connectionLost), then probed until it answers again (answeringAgain); any other camera with an address is
// asked now and then, cheaply, so that one that dies is noticed whether it is in use or not.
//
// A move always meets its stop: a stop the camera did not answer is sent again until it answers or the lane is
// told to move again; a link replaced by another camera's first stops what it set moving; ending the worker stops
// every lane that was told to move, sent again within a bounded time while the camera does not answer; and while a
// lane moves its stop is kept ready for a process that is killed (EmergencyStops).
class CameraWorker : public QObject {
	Q_OBJECT

public:
	struct Options {
		Options(); // the link's VISCA port and command pause
		quint16 cameraPort;
		int commandPauseMs;
		// A camera in use that was sent nothing for this long is asked for its power state, so that one that
		// died is noticed within about two seconds of its last answer.
		int watchdogIntervalMs = 1000;
		int powerChecks = 3;
		int powerCheckPauseMs = 200;
		int probeIntervalMs = 2000;
		// How often a camera that is assigned but not in use is asked whether it answers.
		int assignedProbeMs = 5000;
		int maxJobs = 32;
		int stopRetryMs = 500;
		// At exit, how long the stops may take, sent again every exitRetryMs while the camera does not answer.
		int exitBudgetMs = 1500;
		int exitRetryMs = 150;
	};

	// The outcome of identifying and connecting the camera at an address.
	struct ConnectResult {
		enum class Outcome { Connected, NotAnswering, NoProfile };
		Outcome outcome = Outcome::NotAnswering;
		QString address;
		QString model; // the profile's model name (Connected), or what identification reported (NoProfile)
		std::shared_ptr<viscaGeneralOps> ops;
		PanelReading reading; // the panel as the camera reported it right after the connect
	};
	using ConnectDone = std::function<void(const ConnectResult &result)>;

	// How closely the camera is watched.
	enum class Watch { None, Assigned, InUse };

	CameraWorker(int slot, const Options &options, QObject *parent = nullptr);
	~CameraWorker() override;
	CameraWorker(const CameraWorker &) = delete;
	CameraWorker &operator=(const CameraWorker &) = delete;

	int slot() const { return slotNumber; }

	// Identifies the camera at `address`, creates the link that suits its model, points it at the camera and
	// reads the camera's panel; `done` runs on the owner's thread with the outcome. Queued like any job.
	void connectTo(const QString &address, ConnectDone done);
	// What the last successful connect found; empty before one. Any thread.
	QString address() const;
	QString model() const;
	std::shared_ptr<viscaGeneralOps> capabilities() const;
	bool hasLink() const;
	// Whether the camera answered its last exchange. Any thread.
	bool isAnswering() const;

	// Queues a job for the link (any thread). False (nothing queued) before the first successful connect,
	// after shutdown, and when the queue is full and the job is no stop.
	bool submit(CameraJob job);
	bool submit(const CameraCommand &command, int value) { return submit(CameraJob::fromCommand(command, value)); }
	// Queues work that was taken already, while it waited for the camera's identification: the bound does not
	// refuse it, as its caller was told it was taken.
	bool submitTaken(CameraJob job);
	// The operator left this camera: waiting jobs go, except stops.
	void discardPending();
	// How closely the camera at `address` is watched; a camera without a link to that address is asked
	// whether it answers all the same.
	void setWatch(Watch watch, const QString &address = QString());

	// Ends the worker: waiting jobs but stops go, the stops are sent (and sent again while the camera does not
	// answer, within the exit budget), the thread ends. beginShutdown() lets several workers end in parallel;
	// the destructor finishes the job.
	void beginShutdown();
	void finishShutdown();

	// Names of the jobs that wait (tests).
	QList<QByteArray> pendingJobNames() const;
	// Nothing runs and nothing waits (tests, benchmarks).
	bool isIdle() const;
	// A lane of the camera was told to move and has not yet answered a stop.
	bool isMoving(CameraLane lane) const;
	bool isMoving() const;

signals:
	// A connect identified the camera and its link is ready (address(), model() and capabilities() tell which).
	void linkReady();
	void answeringChanged(bool answering);
	// The watchdog's checks failed: the camera in use is given up.
	void connectionLost();
	// A camera given up answers again.
	void answeringAgain();

private:
	using Clock = std::chrono::steady_clock;

	void run();
	bool runClosing(std::unique_lock<std::mutex> &lock);
	bool queueJob(CameraJob job, bool taken);
	void runJob(CameraJob &job);
	// What a job that ran on a drive lane tells about the lane's motion.
	void noteMotion(const CameraJob &job, bool answered);
	void noteSubmitted(const CameraJob &job);
	// Sends the stops the camera has not answered yet.
	void retryStops();
	// At exit: every lane's stop once, without waiting for answers.
	void fireStops();
	bool stopOwed() const;
	void queueStopsForMovingLanes();
	CameraJob::FollowUp connectLink(const QString &address, const ConnectDone &done);
	// Before the link is replaced: the lanes it set moving are stopped on it.
	void stopOldLink();
	CameraEndpoint endpointFor(const QString &address) const;
	void runWatchdog();
	void runProbe();
	viscaIpModule *probeTarget();
	Clock::time_point nextWake() const;
	std::chrono::milliseconds watchdogInterval() const
	{
		return std::chrono::milliseconds(options.watchdogIntervalMs);
	}
	void noteHealth(bool heard);
	void keepEmergencyStop(CameraLane lane, bool moving);
	void deliver(std::function<void()> followUp);
	void pause(int ms) const;

	const int slotNumber;
	const Options options;
	QThread *thread = nullptr;
	const int emergencyPlace;

	// --- Guarded by mutex ---
	mutable std::mutex mutex;
	std::condition_variable wake;
	CameraJobQueue queue;
	bool closing = false;
	bool finished = false;
	bool busy = false; // a job runs
	Watch watchLevel = Watch::None;
	QString watchAddress;
	bool lost = false;
	Clock::time_point lastActivity;
	Clock::time_point nextProbe;
	Clock::time_point nextStopRetry;
	Clock::time_point exitDeadline;
	// Per drive lane (pan/tilt, zoom, focus).
	struct LaneMotion {
		bool moveSubmitted = false; // the last command queued for the lane was a move
		bool moving = false;        // a move ran and no stop has been answered since
		bool stopUnanswered = false;
	};
	std::array<LaneMotion, 3> motion{};
	LaneMotion *motionOf(CameraLane lane);
	const LaneMotion *motionOf(CameraLane lane) const;
	// What the last successful connect found.
	QString connectedAddress;
	QString connectedModel;
	std::shared_ptr<viscaGeneralOps> connectedOps;
	bool answering = true;

	// --- Worker thread only ---
	std::unique_ptr<viscaIpModule> link;
	std::unique_ptr<viscaIpModule> probeLink; // asks a camera without a link whether it answers
	bool linkAnswering = true;
	bool exitStopsFired = false;

	// --- Owner's thread only ---
	bool shutDown = false;
};
