#pragma once

#include "control/CameraCommand.h"

#include <functional>

// The camera action behind each hotkey row, and the handler that runs it through the controller's command path.
namespace HotkeyCommands {

// Queues a camera command with a value for the camera in use, false when there is none.
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

} // namespace HotkeyCommands
