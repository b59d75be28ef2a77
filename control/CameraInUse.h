#pragma once

#include "control/CameraCommand.h"
#include "control/CameraJob.h"
#include "control/CameraWorker.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class CameraPool;

// The camera the operator drives: one slot at a time, whoever chooses it (the window, a hotkey, a gamepad).
// Choosing a slot identifies its camera on the slot's worker in the background and keeps the camera in use until
// another is chosen; a camera that stops answering is kept as lost and taken back when it answers again. The
// operator's commands reach it only through drive() and submit(): a release stops what its press started, wherever
// the choice has gone since. The choice is stored ("ControllerSlot") so that the next start takes it up again.
// Lives on the UI thread.
class CameraInUse : public QObject {
	Q_OBJECT

public:
	explicit CameraInUse(CameraPool *pool, QObject *parent = nullptr);

	// Who asks: the window's controls, the window's controls with the deliberate second action that moves a live
	// camera, or keys and buttons (hotkeys, gamepads).
	enum class Origin { Window, Deliberate, Keys };
	// Whether work that changes the shot (CameraJob::changesTheShot) may go to `slot`'s camera now; without a
	// guard it always may. Stops and everything else always go.
	using Guard = std::function<bool(int slot, Origin origin)>;
	void setGuard(Guard guard) { shotGuard = std::move(guard); }

	enum class Start { Started, NoAddress, Closed };
	// Starts connecting slot 1..8's camera at its stored address; a later choice wins over one still on its way.
	// The camera in use stays in use until the new one answers.
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

	// Queues a job for the camera in use; false while there is none or another slot is connecting (the camera
	// still in use may be the one on air).
	bool submit(CameraJob job, Origin origin = Origin::Window);
	// Queues a camera command the way the operator's controls do: a drive lane remembers where it was sent, and
	// its stop goes there.
	bool drive(const CameraCommand &command, int value, Origin origin = Origin::Window);

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
	// Work that changes the shot was held back: the slot's camera is live.
	void heldBack(int slot);

private:
	void onConnectResult(int slot, quint64 attempt, CameraWorker *worker,
			     const CameraWorker::ConnectResult &result);
	void use(int slot, CameraWorker *worker, const CameraWorker::ConnectResult &result, bool fresh);
	void leave();
	void watch(CameraWorker *worker);
	void onLinkReady(CameraWorker *worker);
	void onConnectionLost(CameraWorker *worker);
	void onAnsweringAgain(CameraWorker *worker);
	bool stopWhereMoved(const CameraCommand &stop, int value);
	static void storeSlot(int slot);
	bool mayChangeTheShot(const CameraJob &job, Origin origin);

	CameraPool *const pool;
	CameraWorker *active = nullptr; // owned by the pool
	CameraWorker *lostWorker = nullptr;
	int currentSlot = 0;
	int connectingTo = 0;
	quint64 attempt = 0; // the latest connect attempt; older results are discarded
	CameraWorker::ConnectResult current;
	Guard shotGuard;
	QList<CameraWorker *> watched;
	// Per drive lane, the cameras told to move and not stopped yet.
	std::map<CameraLane, QList<CameraWorker *>> moved;
};
