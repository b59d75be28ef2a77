#include "control/CameraCommand.h"

#include "camera/viscaGeneralOps.h"
#include "control/CameraSpeeds.h"
#include "visca/viscaIpModule.h"

#include <algorithm>

namespace {

using Operation = void (viscaIpModule::*)();

CameraCommand linkCommand(const char *name, CameraLane lane, bool stop, Operation operation)
{
	CameraCommand command;
	command.name = name;
	command.lane = lane;
	command.stop = stop;
	command.changesTheShot = isDriveLane(lane) && !stop;
	command.run = [operation](viscaIpModule &link, int) { (link.*operation)(); };
	return command;
}

// Both speeds travel in the command's one value: pan in the high byte, tilt in the low one.
constexpr int kSpeedBits = 8;
constexpr int kSpeedMask = (1 << kSpeedBits) - 1;

// A profile whose range is upside down still gives its maximum.
int heldTo(int value, int minimum, int maximum)
{
	return value > maximum ? maximum : std::max(value, minimum);
}

} // namespace

namespace CameraCommands {

CameraCommand move(Direction direction)
{
	switch (direction) {
	case Direction::Up:
		return linkCommand("setMotorUP", CameraLane::PanTilt, false, &viscaIpModule::setMotorUP);
	case Direction::Down:
		return linkCommand("setMotorDown", CameraLane::PanTilt, false, &viscaIpModule::setMotorDown);
	case Direction::Left:
		return linkCommand("setMotorLeft", CameraLane::PanTilt, false, &viscaIpModule::setMotorLeft);
	case Direction::Right:
		return linkCommand("setMotorRight", CameraLane::PanTilt, false, &viscaIpModule::setMotorRight);
	case Direction::UpLeft:
		return linkCommand("setMotorUpLeft", CameraLane::PanTilt, false, &viscaIpModule::setMotorUpLeft);
	case Direction::UpRight:
		return linkCommand("setMotorUpRight", CameraLane::PanTilt, false, &viscaIpModule::setMotorUpRight);
	case Direction::DownLeft:
		return linkCommand("setMotorDownLeft", CameraLane::PanTilt, false, &viscaIpModule::setMotorDownLeft);
	case Direction::DownRight:
		return linkCommand("setMotorDownRight", CameraLane::PanTilt, false, &viscaIpModule::setMotorDownRight);
	}
	return motorStop();
}

CameraCommand moveAtSpeeds(Direction direction)
{
	CameraCommand command = move(direction);
	command.run = [move = command.run](viscaIpModule &link, int speeds) {
		const int storedPan = link.getPanSpeed();
		const int storedTilt = link.getTiltSpeed();
		// 0 (no speed is held to 0): the stored speed.
		if (const int pan = speeds >> kSpeedBits)
			link.setPanSpeed(pan);
		if (const int tilt = speeds & kSpeedMask)
			link.setTiltSpeed(tilt);
		move(link, 0);
		link.setPanSpeed(storedPan);
		link.setTiltSpeed(storedTilt);
	};
	return command;
}

CameraCommand lensAtSpeed(const CameraCommand &drive)
{
	CameraCommand command = drive;
	const bool zoom = drive.lane == CameraLane::Zoom;
	command.run = [run = drive.run, zoom](viscaIpModule &link, int speed) {
		const int stored = zoom ? link.getZoomSpeed() : link.getFocusSpeed();
		zoom ? link.setZoomSpeed(speed) : link.setFocusSpeed(speed);
		run(link, 0);
		zoom ? link.setZoomSpeed(stored) : link.setFocusSpeed(stored);
	};
	return command;
}

int speedsValue(const viscaGeneralOps &ops, std::optional<int> pan, std::optional<int> tilt)
{
	const int heldPan = pan ? heldTo(*pan, ops.panSpeedMin(), ops.panSpeedMax()) : 0;
	const int heldTilt = tilt ? heldTo(*tilt, ops.tiltSpeedMin(), ops.tiltSpeedMax()) : 0;
	return (heldPan << kSpeedBits) | (heldTilt & kSpeedMask);
}

CameraCommand motorStop()
{
	return linkCommand("setMotorStop", CameraLane::PanTilt, true, &viscaIpModule::setMotorStop);
}

CameraCommand home()
{
	CameraCommand command = linkCommand("setHome", CameraLane::None, false, &viscaIpModule::setHome);
	command.changesTheShot = true;
	return command;
}

CameraCommand zoomIn()
{
	return linkCommand("setZoomIn", CameraLane::Zoom, false, &viscaIpModule::setZoomIn);
}

CameraCommand zoomOut()
{
	return linkCommand("setZoomOut", CameraLane::Zoom, false, &viscaIpModule::setZoomOut);
}

CameraCommand zoomStop()
{
	return linkCommand("setZoomStop", CameraLane::Zoom, true, &viscaIpModule::setZoomStop);
}

CameraCommand focusNear()
{
	return linkCommand("setFocusNearWithSpeed", CameraLane::Focus, false, &viscaIpModule::setFocusNearWithSpeed);
}

CameraCommand focusFar()
{
	return linkCommand("setFocusfarWithSpeed", CameraLane::Focus, false, &viscaIpModule::setFocusfarWithSpeed);
}

CameraCommand focusStop()
{
	return linkCommand("setFocusStop", CameraLane::Focus, true, &viscaIpModule::setFocusStop);
}

CameraCommand zoomTo()
{
	CameraCommand command;
	command.name = "setZoomDirect";
	command.lane = CameraLane::ZoomPosition;
	command.changesTheShot = true;
	command.run = [](viscaIpModule &link, int position) { link.setZoomDirect(position); };
	return command;
}

CameraCommand focusTo()
{
	CameraCommand command;
	command.name = "setFocusDirect";
	command.lane = CameraLane::FocusPosition;
	command.changesTheShot = true;
	command.run = [](viscaIpModule &link, int position) { link.setFocusDirect(position); };
	return command;
}

CameraCommand stopFor(CameraLane lane)
{
	switch (lane) {
	case CameraLane::PanTilt:
		return motorStop();
	case CameraLane::Zoom:
		return zoomStop();
	case CameraLane::Focus:
		return focusStop();
	default:
		return CameraCommand();
	}
}

CameraCommand autoFocus()
{
	return setting("setAfMode", [](viscaIpModule &link, int on) { link.setAfMode(on != 0); });
}

CameraCommand presetRecall()
{
	CameraCommand command;
	command.name = "setMemory1_Recall";
	command.changesTheShot = true;
	command.run = [](viscaIpModule &link, int preset) {
		link.setMemory1_Index(preset);
		link.setMemory1_Recall();
	};
	return command;
}

CameraCommand presetSave()
{
	CameraCommand command;
	command.name = "setMemory1_Save";
	command.changesTheShot = true;
	command.run = [](viscaIpModule &link, int preset) {
		link.setMemory1_Index(preset);
		link.setMemory1_Save();
	};
	return command;
}

CameraCommand speed(Speed which)
{
	switch (which) {
	case Speed::Pan:
		return setting(CameraSpeeds::kPan.key, [](viscaIpModule &link, int value) { link.setPanSpeed(value); });
	case Speed::Tilt:
		return setting(CameraSpeeds::kTilt.key,
			       [](viscaIpModule &link, int value) { link.setTiltSpeed(value); });
	case Speed::Zoom:
		return setting(CameraSpeeds::kZoom.key,
			       [](viscaIpModule &link, int value) { link.setZoomSpeed(value); });
	case Speed::Focus:
		return setting(CameraSpeeds::kFocus.key,
			       [](viscaIpModule &link, int value) { link.setFocusSpeed(value); });
	}
	return CameraCommand();
}

CameraCommand presetSpeed()
{
	return setting("setPresetSpeed", [](viscaIpModule &link, int value) { link.setPresetSpeed(value); });
}

CameraCommand setting(const char *name, std::function<void(viscaIpModule &link, int value)> operation)
{
	CameraCommand command;
	command.name = name;
	command.lane = CameraLane::Setting;
	command.settingKey = name;
	command.run = std::move(operation);
	return command;
}

} // namespace CameraCommands
