#pragma once

#include "control/CameraInUse.h"
#include "control/CameraOrigin.h"
#include "control/CameraWorker.h"
#include "integrations/CameraRequests.h"
#include "integrations/GamepadInput.h"
#include "integrations/OperatorAction.h"
#include "relay/ViscaTransfer.h"
#include "scenes/SceneSource.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <functional>

class CameraInUse;
class CameraPool;
class HotkeySource;
class PresetPictures;
class RelayService;
class ScenePresetLinker;
class LiveCameras;
class TallyLamps;

// The controller without its window: made when the module loads, it owns everything that drives the cameras (the
// slots' doors and workers, the camera the operator drives, the relay, the scene links, the lamps, the hotkeys and
// the gamepad). Every input reaches a camera through its slot's door. The window, the dock and the dialogs are
// views over it; the hotkeys drive the camera in use whether a window was ever shown or not. Lives on the UI thread.
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
	// A hotkey pressed with no release to follow: what moves while held moves for kTapMs once the camera has it.
	void onHotkeyTapped(int index);
	static constexpr int kTapMs = 150;

	// The operator's keys and buttons (hotkeys, gamepads) on the camera in use: true when the action was taken.
	// A release always goes through: it stops what the same input's press started.
	bool act(OperatorAction action, bool pressed, int argument, const CameraCaller &caller);
	bool act(OperatorAction action, bool pressed, int argument = 0)
	{
		return act(action, pressed, argument, CameraCaller{CameraOrigin::Hotkey});
	}
	// Whether the operator holds the deliberate second action (Shift) now; the window tells. A camera that goes
	// live while it moves is stopped unless it is held.
	void setDeliberateCheck(std::function<bool()> check) { deliberateHeld = std::move(check); }
	// How long a store key must be held before the preset is stored.
	static constexpr int kStoreHoldMs = 1000;
	// How long shutdown() lets the settings' writer finish.
	static constexpr int kFinishWritesMs = 4000;

	// Takes the controller down in this order: other programs are answered "not running"; scene switches, then
	// hotkeys, stop driving the cameras; every camera told to move is stopped and the workers end; the relay
	// stops; the settings waiting to be written are written. Nothing drives a camera afterwards. Run at the host's
	// exit, while the workers can still send.
	void shutdown();

signals:
	// A camera's hotkey called a preset on the camera in use (slot, preset).
	void presetCalledFromHotkey(int slot, int preset);
	// Work that changes the shot was held back from a live camera.
	void heldBack(int slot, CameraOrigin origin);
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
	void watchAssignedCameras();
	void protectFromRelay();
	void onLiveChanged(const QSet<QString> &addresses);
	bool hold(const CameraCommand &move, bool pressed, const CameraCaller &caller);
	bool tap(const CameraCommand &move, const CameraCaller &caller);
	bool chooseNeighbour(int step);
	bool callPreset(int preset, const CameraCaller &caller);
	bool storePresetWhenHeld(int preset, bool pressed, const CameraCaller &caller);
	bool changeSpeeds(int step, const CameraCaller &caller);

	CameraPool *pool = nullptr;
	CameraInUse *inUse = nullptr;
	PresetPictures *pictures = nullptr;
	RelayService *relayService = nullptr;
	HotkeySource *hotkeySource = nullptr;
	GamepadInput *gamepadInput = nullptr;
	ScenePresetLinker *sceneLinks = nullptr;
	// Both follow the scene source, from attachSceneSource() on: the lamps of the cameras on program, and which
	// cameras are live in Studio Mode.
	TallyLamps *tallyLamps = nullptr;
	LiveCameras *live = nullptr;
	QPointer<SceneSource> scenes;
	CameraRequests cameraRequests;
	bool hotkeysOn = false;
	bool down = false;
	// Per preset, the press of a store key still held; a release before it is due cancels the store.
	QHash<int, quint64> storeHolds;
	quint64 holdClock = 0;
	std::function<bool()> deliberateHeld;
	QSet<QString> liveAddresses;
};
