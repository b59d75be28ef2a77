#pragma once

#include "control/CameraCommand.h"
#include "control/CameraDoor.h"
#include "control/CameraJob.h"
#include "control/CameraOrigin.h"
#include "control/CameraWorker.h"

#include <QList>
#include <QObject>
#include <QString>

class CameraPool;

// The camera the operator drives: one slot at a time, whoever chooses it (the window, a hotkey, a gamepad).
// Choosing a slot identifies its camera on the slot's worker in the background and keeps the camera in use until
// another is chosen; a camera that stops answering is kept as lost and taken back when it answers again. The
// operator's commands reach the camera in use through its slot's door: press() and release() for what moves while
// held (a release stops what its press started, on the camera it started it on), drive() and submit() for the
// rest. Choosing another camera, or none, stops at once whatever the operator's inputs hold on the camera left;
// an input still held moves the new camera only when it is moved again. The choice is stored ("ControllerSlot")
// so that the next start takes it up again. Lives on the UI thread.
class CameraInUse : public QObject {
	Q_OBJECT

public:
	explicit CameraInUse(CameraPool *pool, QObject *parent = nullptr);

	enum class Start { Started, NoAddress, Closed };
	// Starts connecting slot 1..8's camera at its stored address; a later choice wins over one still on its way.
	// The camera in use stays in use until the new one answers, but stops what the operator held on it.
	Start choose(int slot);
	// Lets go of `slot`: its camera in use or lost, or the attempt to connect it.
	void letGo(int slot);
	// Chooses the slot stored as the one last used, if it still has an address.
	void restore();

	int slot() const { return currentSlot; } // in use or lost; 0 when none
	int connectingSlot() const { return connectingTo; }
	CameraWorker *worker() const { return active; } // null while lost
	bool isConnected() const { return active != nullptr; }
	// What the connect of the camera in use (or lost) found: its address, model, capabilities and first reading.
	const CameraWorker::ConnectResult &connection() const { return current; }

	// A drive that moves while `caller`'s input is held; false when no camera took it.
	bool press(const CameraCommand &move, int value, const CameraCaller &caller);
	// The input let go: the lane it moved stops, wherever the choice has gone since; nothing when it moved none.
	bool release(CameraLane lane, const CameraCaller &caller);
	// Anything else for the camera in use (an explicit stop, home, a setting, a preset); false while there is none
	// or another slot is connecting (the camera still in use may be the one on air).
	bool drive(const CameraCommand &command, int value, const CameraCaller &caller);
	bool submit(CameraJob job, const CameraCaller &caller);
	// The door of the camera in use, when one is in use and no other slot is connecting.
	CameraDoor *door() const;

signals:
	void connecting(int slot, const QString &address);
	void connectFailed(int slot, const CameraWorker::ConnectResult &result);
	// A camera is now in use: `fresh` for a connect, false when another user of the slot made its link anew and
	// the slot now reaches another camera (no reading came with it).
	void connected(int slot, bool fresh);
	// The operator let go of the camera in use or lost.
	void released(int slot);
	void answeringChanged(bool answering);
	void lost(int slot);
	void answeringAgain(int slot);

private:
	void onConnectResult(int slot, quint64 attempt, CameraWorker *worker,
			     const CameraWorker::ConnectResult &result);
	void use(int slot, CameraWorker *worker, const CameraWorker::ConnectResult &result, bool fresh);
	void leave();
	void stopHeldLanes();
	void watch(CameraWorker *worker);
	void onLinkReady(CameraWorker *worker);
	void onConnectionLost(CameraWorker *worker);
	void onAnsweringAgain(CameraWorker *worker);
	static void storeSlot(int slot);

	CameraPool *const pool;
	CameraWorker *active = nullptr; // owned by the pool
	CameraWorker *lostWorker = nullptr;
	int currentSlot = 0;
	int connectingTo = 0;
	quint64 attempt = 0; // the latest connect attempt; older results are discarded
	CameraWorker::ConnectResult current;
	QList<CameraWorker *> watched;
};
