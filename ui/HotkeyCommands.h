#pragma once

#include <functional>

class HotkeySource;
class QAction;
class QObject;
class viscaIpModule;

// The controller window's side of the camera hotkeys: the camera action behind each hotkey row, the handler
// that runs it through the window's command wrapper, and the "UseHotHeys" switch of the Settings menu.
namespace HotkeyCommands {

using Command = std::function<void(int)>;
// The window's command wrapper: runs a camera command with a value, false when there is no camera link.
using SetCommand = std::function<bool(Command command, int value)>;
// The camera link in use at the time of the call; it changes at every connect and may be null.
using LinkGetter = std::function<viscaIpModule *()>;
using Handler = std::function<void(int index, bool pressed)>;

// The nine camera actions of the hotkeys.
struct CommandSet {
	Command upCommand;
	Command downCommand;
	Command leftCommand;
	Command rightCommand;
	Command zoomInCommand;
	Command zoomOutCommand;
	Command presetCallCommand; // the value is the preset number
	Command motorStopCommand;
	Command zoomStopCommand;
};

// The actions on whatever link `link` returns when they run; with no link they do nothing.
CommandSet makeCommandSet(LinkGetter link);

// One hotkey event: rows 0..5 run their press or release command with value 0, rows 6..14 call preset
// index - 5 on press and do nothing on release. Nothing runs unless `connected`. True when a command was handed
// to `setCommand` and it reported that it ran.
bool handleHotkey(const CommandSet &commands, int index, bool pressed, bool connected, const SetCommand &setCommand);

// Turns `action` into the "UseHotHeys" switch: checkable, checked from the settings key "hotKey", with the
// check-box icon of its state; while checked, `source`'s hotKeysentTo reaches `handler` on `receiver`'s thread.
// Triggering it stores the new state under "hotKey"; switching on also shows the "NeedToSetHotKeysInOBS" warning.
void setupHotkeySwitch(QAction *action, HotkeySource *source, QObject *receiver, Handler handler);

} // namespace HotkeyCommands
