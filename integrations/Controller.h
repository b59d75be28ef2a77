#pragma once

#include "control/CameraInUse.h"
#include "control/CameraWorker.h"
#include "integrations/CameraRequests.h"
#include "integrations/GamepadInput.h"
#include "integrations/OperatorAction.h"
#include "relay/ViscaTransfer.h"
#include "scenes/SceneSource.h"

#include <QHash>
#include <QObject>
#include <QPointer>

class CameraDirector;
class CameraInUse;
class CameraPool;
class HotkeySource;
class PresetPictures;
class RelayService;
class ScenePresetLinker;
class LiveCameras;
class TallyLamps;

// The controller without its window: made when the module loads, it owns everything that drives the cameras (the
// slots' workers, the camera the operator drives, the director that serves scenes and other programs, the relay,
// the scene links and the hotkeys). The window, the dock and the dialogs are views over it; the hotkeys drive the
// camera in use whether a window was ever shown or not. Lives on the UI thread.
class Controller : public QObject {
	Q_OBJECT

public:
	struct Options {
		CameraWorker::Options cameras;
		ViscaTransfer::Options relay; // the product's defaults; tests pick ephemeral loopback ports
		GamepadInput::Options gamepad;
	};

	explicit Controller(const Options &options = {}, QObject *parent = nullptr);
	// Runs shutdown() if it has not run.
	~Controller() override;

	CameraPool *cameraPool() const { return pool; }
	CameraInUse *cameraInUse() const { return inUse; }
	CameraDirector *director() const { return cameraDirector; }
	RelayService *relay() const { return relayService; }
	// The presets' pictures; the host gives it its capture.
	PresetPictures *presetPictures() const { return pictures; }
	GamepadInput *gamepad() const { return gamepadInput; }
	// What other programs ask of the cameras; copies may be used on any thread.
	CameraRequests requests() const { return cameraRequests; }

	// Where OBS's scenes are heard: from now on, scenes linked to presets recall them. The source must outlive
	// the controller or be destroyed before it.
	void attachSceneSource(SceneSource *scenes);
	SceneSource *sceneSource() const { return scenes; }
	// Which cameras are live on program in Studio Mode; null until scenes are attached.
	LiveCameras *liveCameras() const { return live; }

	// The "UseHotHeys" switch: while on, the host's camera hotkeys drive the camera in use. Stored.
	bool hotkeysEnabled() const { return hotkeysOn; }
	void setHotkeysEnabled(bool on);
	// One hotkey event, as the host's hotkey source reports it.
	void onHotkey(int index, bool pressed);

	// The one path of the operator's keys and buttons (hotkeys, gamepads) to the camera in use: true when the
	// action was taken. A release always goes through: it stops what its press started.
	bool act(OperatorAction action, bool pressed, int argument = 0);
	// How long a store key must be held before the preset is stored.
	static constexpr int kStoreHoldMs = 1000;

	// Takes the controller down in this order: other programs are answered "not running"; scene switches, then
	// hotkeys, stop driving the cameras; every camera told to move is stopped and the workers end; the relay
	// stops. Nothing drives a camera afterwards. Run at the host's exit, while the workers can still send.
	void shutdown();

signals:
	// A camera's hotkey called a preset on the camera in use (slot, preset).
	void presetCalledFromHotkey(int slot, int preset);
	// A held store key stored a preset on the camera in use, or was let go too early.
	void presetStored(int slot, int preset, bool confirmed);
	void storeNeedsHold(int preset);
	// Which cameras are live on program in Studio Mode changed.
	void liveCamerasChanged();
	// The speeds of the camera in use changed (stored under its key prefix).
	void speedsChanged();
	// The chosen gamepad was found or lost.
	void gamepadConnectionChanged(const QString &device, bool connected);

private:
	void listenToHotkeys(bool on);
	void dropSceneFollowers();
	bool mayChangeTheShot(int slot, CameraInUse::Origin origin) const;
	bool drive(const CameraCommand &press, const CameraCommand &release, bool pressed);
	bool chooseNeighbour(int step);
	bool callPreset(int preset);
	bool storePresetWhenHeld(int preset, bool pressed);
	bool changeSpeeds(int step);

	CameraPool *pool = nullptr;
	CameraInUse *inUse = nullptr;
	CameraDirector *cameraDirector = nullptr;
	PresetPictures *pictures = nullptr;
	RelayService *relayService = nullptr;
	HotkeySource *hotkeySource = nullptr;
	GamepadInput *gamepadInput = nullptr;
	ScenePresetLinker *sceneLinks = nullptr;
	TallyLamps *tallyLamps = nullptr;
	LiveCameras *live = nullptr; // follows the scene source's Studio Mode and program // the cameras' lamps follow
				     // the scene source's program
	QPointer<SceneSource> scenes;
	CameraRequests cameraRequests;
	bool hotkeysOn = false;
	bool down = false;
	// Per preset, the press of a store key still held; a release before it is due cancels the store.
	QHash<int, quint64> storeHolds;
	quint64 holdClock = 0;
};
