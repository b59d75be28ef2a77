// Pan/tilt drive, home, preset speed, speed compensation and the pan/tilt limits of the camera link.

#include "ViscaCommand.h"
#include "viscaIpModule.h"

namespace {

enum class LimitSide { PanRight, PanLeft, TiltUp, TiltDown };

// Turns an angle step entered by the operator into a camera position inside [min, max]. The camera counts
// right and up from 0 and left and down backwards from 0xFFFF; the profile's range spans 170 degrees of pan,
// 90 degrees of tilt up and 30 degrees of tilt down. The arithmetic stays in single precision, with the ratio
// computed in double and rounded once: any other rounding moves some limits by one position.
uint32_t positionInRange(LimitSide side, int step, uint32_t max, uint32_t min)
{
	const uint32_t span = max + 1 - min;
	const float steps = static_cast<float>(step);
	float raw = 0.0f;
	switch (side) {
	case LimitSide::PanRight:
		raw = steps * static_cast<float>(span / 170.0);
		break;
	case LimitSide::PanLeft:
		raw = steps * static_cast<float>(span / 170.0) + 65535.0f;
		break;
	case LimitSide::TiltUp:
		raw = steps * static_cast<float>(span / 90.0);
		break;
	case LimitSide::TiltDown:
		// The tilt-down ratio is an integer one: the 30-degree range is coarse enough on every model.
		raw = steps * static_cast<float>(span / 30) + 65535.0f;
		break;
	}
	if (static_cast<float>(min) >= raw)
		return min;
	if (raw >= static_cast<float>(max))
		return max;
	return static_cast<uint32_t>(raw + 1.0);
}

// Whatever range the caller gives, the position sent stays a 16-bit one.
uint32_t limitPosition(LimitSide side, int step, uint32_t max, uint32_t min, const char *operation)
{
	return uint32_t(ViscaFields::position.fit(positionInRange(side, step, max, min), operation));
}

} // namespace

void viscaIpModule::setHome()
{
	send(ViscaCommands::home);
}

void viscaIpModule::setMotorUP()
{
	send(ViscaCommands::up, panSpeed, tiltSpeed);
}

void viscaIpModule::setMotorDown()
{
	send(ViscaCommands::down, panSpeed, tiltSpeed);
}

void viscaIpModule::setMotorLeft()
{
	send(ViscaCommands::left, panSpeed, tiltSpeed);
}

void viscaIpModule::setMotorRight()
{
	send(ViscaCommands::right, panSpeed, tiltSpeed);
}

void viscaIpModule::setMotorUpLeft()
{
	send(ViscaCommands::upLeft, panSpeed, tiltSpeed);
}

void viscaIpModule::setMotorUpRight()
{
	send(ViscaCommands::upRight, panSpeed, tiltSpeed);
}

void viscaIpModule::setMotorDownLeft()
{
	send(ViscaCommands::downLeft, panSpeed, tiltSpeed);
}

void viscaIpModule::setMotorDownRight()
{
	send(ViscaCommands::downRight, panSpeed, tiltSpeed);
}

void viscaIpModule::setMotorStop()
{
	send(ViscaCommands::stop, panSpeed, tiltSpeed);
}

QByteArray viscaIpModule::stopPayload(Drive drive) const
{
	switch (drive) {
	case Drive::PanTilt:
		return ViscaCommands::stop.payload(panSpeed, tiltSpeed);
	case Drive::Zoom:
		return ViscaCommands::zoomStop.payload();
	case Drive::Focus:
		return ViscaCommands::focusStop.payload();
	}
	return QByteArray();
}

void viscaIpModule::setTally(bool on)
{
	send(ViscaCommands::tally, on ? ViscaCommands::kOn : ViscaCommands::kOff);
}

void viscaIpModule::setPanSpeed(int speed)
{
	panSpeed = ViscaFields::panSpeed.fit(speed, __func__);
}

void viscaIpModule::setTiltSpeed(int speed)
{
	tiltSpeed = ViscaFields::tiltSpeed.fit(speed, __func__);
}

void viscaIpModule::setPresetSpeed(int speed)
{
	sendPresetSpeed(ViscaCommands::presetSpeed, speed);
}

void viscaIpModule::sendPresetSpeed(const ViscaCommand &command, int speed)
{
	// Kept even when the camera does not confirm it, so the panel shows what the operator chose.
	presetSpeed = command.field.fit(speed, command.name);
	send(command, presetSpeed);
}

void viscaIpModule::setPTZspeedComp(int value)
{
	send(ViscaCommands::speedCompensation, value);
}

// A limit is always set as a whole corner, so the coordinate that did not change is sent as last stored.

void viscaIpModule::setPanRightLimit(int step, uint32_t max, uint32_t min)
{
	panRightLimit = limitPosition(LimitSide::PanRight, step, max, min, __func__);
	send(ViscaCommands::upRightLimit, int(panRightLimit), int(tiltUpLimit));
}

void viscaIpModule::setTiltUpLimit(int step, uint32_t max, uint32_t min)
{
	tiltUpLimit = limitPosition(LimitSide::TiltUp, step, max, min, __func__);
	send(ViscaCommands::upRightLimit, int(panRightLimit), int(tiltUpLimit));
}

void viscaIpModule::setPanLeftLimit(int step, uint32_t max, uint32_t min)
{
	panLeftLimit = limitPosition(LimitSide::PanLeft, step, max, min, __func__);
	send(ViscaCommands::downLeftLimit, int(panLeftLimit), int(tiltDownLimit));
}

void viscaIpModule::setTiltDownLimit(int step, uint32_t max, uint32_t min)
{
	tiltDownLimit = limitPosition(LimitSide::TiltDown, step, max, min, __func__);
	send(ViscaCommands::downLeftLimit, int(panLeftLimit), int(tiltDownLimit));
}

void viscaIpModule::setPanTilt_RightUpLimit_Clear()
{
	send(ViscaCommands::upRightLimitClear);
}

void viscaIpModule::setPanTilt_LeftDownLimit_Clear()
{
	send(ViscaCommands::downLeftLimitClear);
}
