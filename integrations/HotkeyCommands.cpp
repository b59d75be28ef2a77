#include "integrations/HotkeyCommands.h"

#include "integrations/HotkeySource.h"

#include <QLoggingCategory>

namespace {

// Every hotkey event the window hears, at debug level.
Q_LOGGING_CATEGORY(lcHotkeys, "kavren.hotkeys")

constexpr int kTiltUp = 0;
constexpr int kTiltDown = 1;
constexpr int kPanLeft = 2;
constexpr int kPanRight = 3;
constexpr int kZoomIn = 4;
constexpr int kZoomOut = 5;
constexpr int kFirstPreset = 6;

} // namespace

HotkeyCommands::CommandSet HotkeyCommands::makeCommandSet()
{
	using Direction = CameraCommands::Direction;
	CommandSet set;
	set.upCommand = CameraCommands::move(Direction::Up);
	set.downCommand = CameraCommands::move(Direction::Down);
	set.leftCommand = CameraCommands::move(Direction::Left);
	set.rightCommand = CameraCommands::move(Direction::Right);
	set.zoomInCommand = CameraCommands::zoomIn();
	set.zoomOutCommand = CameraCommands::zoomOut();
	set.presetCallCommand = CameraCommands::presetRecall();
	set.motorStopCommand = CameraCommands::motorStop();
	set.zoomStopCommand = CameraCommands::zoomStop();
	return set;
}

bool HotkeyCommands::handleHotkey(const CommandSet &commands, int index, bool pressed, bool connected,
				  const SetCommand &setCommand)
{
	qCDebug(lcHotkeys, "pressed = %d", pressed ? 1 : 0);
	// A release always goes through: it stops what its press started, even after the operator let go of the slot.
	if ((!connected && pressed) || index < 0 || index >= HotkeySource::kHotkeyCount || !setCommand)
		return false;

	const CameraCommand *command = nullptr;
	int value = 0;
	switch (index) {
	case kTiltUp:
		command = pressed ? &commands.upCommand : &commands.motorStopCommand;
		break;
	case kTiltDown:
		command = pressed ? &commands.downCommand : &commands.motorStopCommand;
		break;
	case kPanLeft:
		command = pressed ? &commands.leftCommand : &commands.motorStopCommand;
		break;
	case kPanRight:
		command = pressed ? &commands.rightCommand : &commands.motorStopCommand;
		break;
	case kZoomIn:
		command = pressed ? &commands.zoomInCommand : &commands.zoomStopCommand;
		break;
	case kZoomOut:
		command = pressed ? &commands.zoomOutCommand : &commands.zoomStopCommand;
		break;
	default:
		// Presets go straight to memories 1..9, whatever the preset panel shows; a release has nothing to stop.
		if (!pressed)
			return false;
		command = &commands.presetCallCommand;
		value = index - kFirstPreset + 1;
		break;
	}
	if (!command->run)
		return false;
	return setCommand(*command, value);
}
