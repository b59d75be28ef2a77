#pragma once

#include "control/CameraCommand.h"
#include "control/CameraJob.h"
#include "control/CameraOrigin.h"
#include "control/CameraWorker.h"

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <mutex>
#include <optional>

class CameraPool;
class viscaGeneralOps;

// The one door to a slot's camera. Every command for it — the window's controls, hotkeys, gamepads, other programs'
// requests, scene links, tally lamps — enters here with its caller, and each rule is applied here once:
//  - a slot without an address, or a camera known not to answer, takes nothing but stops;
//  - a camera live on program in Studio Mode takes no work that changes its shot unless its caller may (the
//    window with the operator's deliberate second action; keys, gamepads and other programs unless protection is
//    switched off; scene links never), and listeners hear that it was held back;
//  - a camera not identified yet is identified first, in the background, and gets what was asked of it after;
//  - preset calls and stores are told to listeners (presetCalled, presetStored) once, whoever asked;
//  - each operator input owns the lanes it moves: its release stops them, on this camera, whichever camera is in
//    use since; leaving the camera stops them at once (stopOperatorLanes);
//  - other programs' moves and stops may overtake each other inside obs-websocket, which runs requests in parallel:
//    a stop that finds nothing of theirs moving is kept, and the next move of theirs on that lane is stopped right
//    after it, however late it comes. A lost move is safe; a lost stop is not.
// An Outcome is ok only when the camera's queue (or the queue of its identification) took the work. Any thread.
class CameraDoor : public QObject {
	Q_OBJECT

public:
	struct Outcome {
		bool ok = true;
		QString error;
		static Outcome refused(const QString &why) { return {false, why}; }
	};

	// What is known of the slot's camera, as listeners and other programs are told.
	struct Info {
		int slot = 0;
		QString name;           // the slot's caption: its nickname, or the localized slot name
		QString address;        // empty when the slot has none
		QString model;          // the identified model, empty before identification
		bool connected = false; // identified, its link reaches the slot's address
		bool answering = false; // answered its last question, identified or not
		bool live = false;      // on program in Studio Mode
	};

	// What a release found.
	enum class Release { Stopped, AlreadyStopped, NotHeld };
	// Whether a tally lamp switch reached the camera.
	enum class TallyResult { Lit, Refused, NotDelivered };

	CameraDoor(int slot, CameraWorker *worker, CameraPool *pool);

	int slot() const { return slotNumber; }
	CameraWorker *worker() const { return cameraWorker; }
	Info info() const;

	Outcome enter(const CameraCommand &command, int value, const CameraCaller &caller);
	Outcome enter(CameraJob job, const CameraCaller &caller);
	// A pan/tilt move at speeds of its own, held to the model's ranges (a speed not given keeps the stored one).
	Outcome moveAtSpeeds(CameraCommands::Direction direction, std::optional<int> panSpeed,
			     std::optional<int> tiltSpeed, const CameraCaller &caller);
	// `answer`, when given, hears on the UI thread whether the camera confirmed it.
	Outcome callPreset(int preset, const CameraCaller &caller, CameraJob::ConfirmAnswer answer = {});
	Outcome storePreset(int preset, const CameraCaller &caller, CameraJob::ConfirmAnswer answer = {});
	Outcome tally(bool on, std::function<void(TallyResult)> answer);

	// The release of `caller`'s press on `lane`: stops the lane when this input moved it here.
	Release release(CameraLane lane, const CameraCaller &caller);
	// The operator left this camera: every lane an operator input holds is stopped, and their releases find the
	// lane stopped already.
	void stopOperatorLanes();
	// Every lane of the camera that moves is stopped (the camera went live while it moved).
	bool stopMovingLanes(const QString &why);

	// Nothing waits for the camera's identification and its worker has run everything (tests, benchmarks).
	bool isSettled() const;

signals:
	void presetCalled(int slot, int preset, CameraOrigin origin);
	void presetStored(int slot, int preset, CameraOrigin origin);
	// Work that changes the shot was held back: the camera is live.
	void heldBack(int slot, CameraOrigin origin);
	void statusChanged(int slot, bool connected, bool answering);
	// The slot's camera has a new link (the window or a background identification connected it).
	void linked(int slot);
	// Something the operator should read in the window's status frame.
	void notice(const QString &text);

private:
	// One order as it enters: its job is made once the camera's capabilities are known (a move clamps its speeds
	// to them); lane, stop and shot are known before, for the rules.
	struct Order {
		const char *what = "a command"; // for messages
		CameraLane lane = CameraLane::None;
		bool stop = false;
		bool changesTheShot = false;
		std::function<CameraJob(const viscaGeneralOps &ops)> make;
		// Runs when the order never reaches the camera (its identification failed).
		std::function<void()> dropped;
	};
	static Order orderOf(CameraJob job, const char *what);

	Outcome presetCommand(bool store, int preset, const CameraCaller &caller, CameraJob::ConfirmAnswer answer);
	Outcome admit(const Order &order, const CameraCaller &caller);
	Outcome check(const Order &order, const CameraCaller &caller, const QString &address, bool *heldBackNow);
	// Under the lock: to the worker, or to wait for the camera's identification.
	Outcome hand(const Order &order, const QString &address);
	bool handStop(CameraLane lane, const QString &address);
	void noteHolders(const Order &order, const CameraCaller &caller);
	// Other programs' order on a drive lane; true when this move's stop came first and must follow it.
	bool noteProgramOrder(const Order &order, const CameraCaller &caller);
	static bool mayChangeTheShot(const CameraCaller &caller);
	void startIdentification(const QString &address);
	void onIdentified(const CameraWorker::ConnectResult &result);
	void applyStoredSpeeds();
	void reportStatus();

	const int slotNumber;
	CameraWorker *const cameraWorker;
	CameraPool *const pool;

	mutable std::mutex mutex;
	// Orders waiting for the camera's identification.
	QList<Order> waiting;
	bool identifying = false;
	bool lost = false;
	// Per drive lane: the operator inputs whose press moved it, and those whose hold ended with the camera left.
	struct Lane {
		QList<CameraCaller> holders;
		QList<CameraCaller> cutOff;
		bool requestMoving = false; // other programs' last word on the lane was a move
		int requestStopsAhead = 0;  // their stops that found nothing of theirs moving: moves still on their way
	};
	std::array<Lane, 3> lanes;
	Lane *laneOf(CameraLane lane);
};

Q_DECLARE_METATYPE(CameraOrigin)
