#pragma once

#include "control/CameraJob.h"
#include "control/CameraJobQueue.h"
#include "control/PanelReading.h"

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
// runs the jobs queued for it one after another, exactly as they would have run on the UI thread: the same
// datagrams, in the same order, with the same pauses. Follow-ups and signals reach the thread that created the
// worker (the UI thread) as queued calls, so widgets never wait for a camera and never touch the link.
//
// While the operator works with the camera, the worker also watches it: every exchange tells whether the camera
// answered (answeringChanged), a watchdog asks for its power state after a quiet spell and gives the camera up
// after three failed checks (connectionLost), and a camera that is not answering is probed quietly until it
// answers again (answeringAgain after a loss).
//
// A move always meets its stop: a stop the camera did not answer is sent again every stopRetryMs until it answers
// or the lane is told to move again, and ending the worker stops every lane that was told to move.
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
		int maxJobs = 32;
		int stopRetryMs = 500;
		// How long a stop that may have overtaken its move (CameraJob::mayOvertake) waits for that move. Such a
		// stop reaches a lane at rest, so waiting costs nothing on camera; it must outlast a busy machine's
		// scheduling of obs-websocket's threads (a tenth of a second was seen to be too short under load).
		int overtakeWaitMs = 1000;
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

	CameraWorker(int slot, const Options &options, QObject *parent = nullptr);
	~CameraWorker() override;
	CameraWorker(const CameraWorker &) = delete;
	CameraWorker &operator=(const CameraWorker &) = delete;

	int slot() const { return slotNumber; }

	// Identifies the camera at `address`, creates the link that suits its model, points it at the camera and
	// reads the camera's panel; `done` runs on the owner's thread with the outcome. Queued like any job.
	void connectTo(const QString &address, ConnectDone done);
	// What the last successful connect found; empty before one.
	QString address() const { return connectedAddress; }
	QString model() const { return connectedModel; }
	std::shared_ptr<viscaGeneralOps> capabilities() const { return connectedOps; }
	bool hasLink() const { return !connectedModel.isEmpty(); }

	// Queues a job for the link. False (nothing queued) before the first successful connect, after shutdown, and
	// for a job that refuses a full queue (CameraJob::refuseWhenFull) when the queue is full.
	bool submit(CameraJob job);
	bool submit(const CameraCommand &command, int value) { return submit(CameraJob::fromCommand(command, value)); }
	// The operator left this camera: waiting jobs go, except stops.
	void discardPending();
	// Whether the watchdog and the quiet probing look after this camera (the camera the window works with).
	void setWatched(bool watched);
	bool isAnswering() const { return answering; }

	// Ends the worker: waiting jobs but stops go, every wait of the link ends at once, the stops are sent, the
	// thread ends. beginShutdown() lets several workers end in parallel; the destructor finishes the job.
	void beginShutdown();
	void finishShutdown();

	// Names of the jobs that wait (tests).
	QList<QByteArray> pendingJobNames() const;
	// Nothing runs and nothing waits (tests, benchmarks).
	bool isIdle() const;
	// A lane of the camera was told to move and has not yet answered a stop.
	bool isMoving(CameraLane lane) const;

signals:
	// A connect identified the camera and its link is ready (address(), model() and capabilities() tell which).
	void linkReady();
	void answeringChanged(bool answering);
	// The watchdog's checks failed: the camera is given up.
	void connectionLost();
	// A camera given up answers again.
	void answeringAgain();

private:
	using Clock = std::chrono::steady_clock;

	void run();
	void runJob(CameraJob &job);
	// What a job that ran on a drive lane tells about the lane's motion.
	void noteMotion(const CameraJob &job, bool answered);
	void noteSubmitted(CameraJob &job);
	// Sends the stops the camera has not answered yet.
	void retryStops();
	bool stopOwed() const;
	void queueStopsForMovingLanes();
	CameraJob::FollowUp connectLink(const QString &address, const ConnectDone &done);
	void runWatchdog();
	void runProbe();
	Clock::time_point nextWake() const;
	std::chrono::milliseconds watchdogInterval() const
	{
		return std::chrono::milliseconds(options.watchdogIntervalMs);
	}
	void noteHealth(bool heard);
	void deliver(std::function<void()> followUp);
	void pause(int ms) const;

	const int slotNumber;
	const Options options;
	QThread *thread = nullptr;

	// --- Guarded by mutex ---
	mutable std::mutex mutex;
	std::condition_variable wake;
	CameraJobQueue queue;
	bool closing = false;
	bool finished = false;
	bool busy = false; // a job runs
	bool watched = false;
	bool lost = false;
	bool behind = false; // the camera stopped answering: waiting commands merge
	bool overflowLogged = false;
	Clock::time_point lastActivity;
	Clock::time_point nextProbe;
	Clock::time_point nextStopRetry;
	// Per drive lane (pan/tilt, zoom, focus).
	struct LaneMotion {
		bool moveSubmitted = false; // the last command submitted for the lane was a move
		bool moving = false;        // a move ran and no stop has been answered since
		bool stopUnanswered = false;
	};
	std::array<LaneMotion, 3> motion{};
	LaneMotion *motionOf(CameraLane lane);
	const LaneMotion *motionOf(CameraLane lane) const;

	// --- Worker thread only ---
	std::unique_ptr<viscaIpModule> link;
	bool linkAnswering = true;

	// --- Owner's thread only ---
	QString connectedAddress;
	QString connectedModel;
	std::shared_ptr<viscaGeneralOps> connectedOps;
	bool answering = true;
	bool shutDown = false;
};
