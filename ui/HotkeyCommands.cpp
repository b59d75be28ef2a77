#include "ui/HotkeyCommands.h"

#include "kavren-version.h"

#include "settings/SettingsFile.h"
#include "settings/Utils.h"
#include "ui/HotkeySource.h"
#include "ui/ModuleText.h"

#include <QAction>
#include <QIcon>
#include <QJsonObject>
#include <QLoggingCategory>

#include <utility>

namespace {

// Every hotkey event the window hears, at debug level.
Q_LOGGING_CATEGORY(lcHotkeys, "kavren.hotkeys")

const char *const kCheckedIcon = ":/resource/images/Checkbox_p.svg";
const char *const kUncheckedIcon = ":/resource/images/Checkbox.svg";

constexpr int kTiltUp = 0;
constexpr int kTiltDown = 1;
constexpr int kPanLeft = 2;
constexpr int kPanRight = 3;
constexpr int kZoomIn = 4;
constexpr int kZoomOut = 5;
constexpr int kFirstPreset = 6;

void setSwitchIcon(QAction *action, bool checked)
{
	action->setIcon(QIcon(QString::fromLatin1(checked ? kCheckedIcon : kUncheckedIcon)));
}

void listen(HotkeySource *source, QObject *receiver, const HotkeyCommands::Handler &handler)
{
	// One listener at most: a second switch-on must not run every command twice.
	QObject::disconnect(source, &HotkeySource::hotKeysentTo, receiver, nullptr);
	// Automatic connection: the host calls its hotkey callback on a thread of its own, and the camera commands
	// must run on the receiver's (UI) thread.
	QObject::connect(source, &HotkeySource::hotKeysentTo, receiver, [handler](int index, bool pressed) {
		if (handler)
			handler(index, pressed);
	});
}

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

void HotkeyCommands::setupHotkeySwitch(QAction *action, HotkeySource *source, QObject *receiver, Handler handler)
{
	if (!action || !source || !receiver)
		return;

	const bool on = SettingsFile::read().value(QLatin1String(SettingsFile::kHotKeyKey)).toBool(false);
	action->setCheckable(true);
	action->setChecked(on);
	setSwitchIcon(action, on);
	if (on)
		listen(source, receiver, handler);

	QObject::connect(action, &QAction::triggered, receiver, [action, source, receiver, handler](bool checked) {
		// The switch is a preference, not an operation: whether it was stored is not looked at.
		SettingsFile::update([checked](QJsonObject &settings) {
			settings[QLatin1String(SettingsFile::kHotKeyKey)] = checked;
			return true;
		});

		setSwitchIcon(action, checked);
		if (checked) {
			// The plug-in only offers the hotkeys; the operator binds keys to them in the host's settings.
			// Nothing went wrong: an information box, not a warning.
			Utils::presentBox(
				{QStringLiteral(KAVREN_DISPLAY_NAME), ModuleText::text("NeedToSetHotKeysInOBS")});
			listen(source, receiver, handler);
		} else {
			QObject::disconnect(source, &HotkeySource::hotKeysentTo, receiver, nullptr);
		}
	});
}
