#pragma once

#include "control/CameraCommand.h"

#include <functional>

class HotkeySource;
class QAction;
class QObject;

// The controller window's side of the camera hotkeys: the camera action behind each hotkey row, the handler
// that runs it through the window's command wrapper, and the "UseHotHeys" switch of the Settings menu.
namespace HotkeyCommands {

// The window's command wrapper: queues a camera command with a value, false when there is no camera.
using SetCommand = std::function<bool(const CameraCommand &command, int value)>;
using Handler = std::function<void(int index, bool pressed)>;

// The nine camera actions of the hotkeys.
struct CommandSet {
	CameraCommand upCommand;
	CameraCommand downCommand;
	CameraCommand leftCommand;
	CameraCommand rightCommand;
	CameraCommand zoomInCommand;
	CameraCommand zoomOutCommand;
	CameraCommand presetCallCommand; // the value is the preset number
	CameraCommand motorStopCommand;
	CameraCommand zoomStopCommand;
};

CommandSet makeCommandSet();

// One hotkey event: rows 0..5 run their press or release command with value 0, rows 6..14 call preset
// index - 5 on press and do nothing on release. A press runs only while `connected`; a release always does. True when a
// command was handed to `setCommand` and it reported that it ran.
bool handleHotkey(const CommandSet &commands, int index, bool pressed, bool connected, const SetCommand &setCommand);

// Turns `action` into the "UseHotHeys" switch: checkable, checked from the settings key "hotKey", with the
// check-box icon of its state; while checked, `source`'s hotKeysentTo reaches `handler` on `receiver`'s thread.
// Triggering it stores the new state under "hotKey"; switching on also shows the "NeedToSetHotKeysInOBS" warning.
void setupHotkeySwitch(QAction *action, HotkeySource *source, QObject *receiver, Handler handler);

} // namespace HotkeyCommands
