// Pan/tilt drive, home, preset speed, speed compensation and the pan/tilt limits of the camera link.

#include "ViscaField.h"
#include "viscaIpModule.h"
#include "viscaPayload.h"

namespace {

// Direction bytes of the pan-tilt drive message: pan 01 left, 02 right, 03 stop; tilt 01 up, 02 down, 03 stop.
constexpr int kLeft = 0x01;
constexpr int kRight = 0x02;
constexpr int kUp = 0x01;
constexpr int kDown = 0x02;
constexpr int kHold = 0x03;

QByteArray drivePayload(int panSpeed, int tiltSpeed, int panDirection, int tiltDirection)
{
	return viscaPayload({0x81, 0x01, 0x06, 0x01, panSpeed, tiltSpeed, panDirection, tiltDirection, 0xFF});
}

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
	sendCommand(viscaPayload({0x81, 0x01, 0x06, 0x04, 0xFF}));
}

void viscaIpModule::setMotorUP()
{
	sendCommand(drivePayload(panSpeed, tiltSpeed, kHold, kUp));
}

void viscaIpModule::setMotorDown()
{
	sendCommand(drivePayload(panSpeed, tiltSpeed, kHold, kDown));
}

void viscaIpModule::setMotorLeft()
{
	sendCommand(drivePayload(panSpeed, tiltSpeed, kLeft, kHold));
}

void viscaIpModule::setMotorRight()
{
	sendCommand(drivePayload(panSpeed, tiltSpeed, kRight, kHold));
}

void viscaIpModule::setMotorUpLeft()
{
	sendCommand(drivePayload(panSpeed, tiltSpeed, kLeft, kUp));
}

void viscaIpModule::setMotorUpRight()
{
	sendCommand(drivePayload(panSpeed, tiltSpeed, kRight, kUp));
}

void viscaIpModule::setMotorDownLeft()
{
	sendCommand(drivePayload(panSpeed, tiltSpeed, kLeft, kDown));
}

void viscaIpModule::setMotorDownRight()
{
	sendCommand(drivePayload(panSpeed, tiltSpeed, kRight, kDown));
}

void viscaIpModule::setMotorStop()
{
	sendCommand(stopPayload(Drive::PanTilt));
}

QByteArray viscaIpModule::stopPayload(Drive drive) const
{
	switch (drive) {
	case Drive::PanTilt:
		return drivePayload(panSpeed, tiltSpeed, kHold, kHold);
	case Drive::Zoom:
		return viscaPayload({0x81, 0x01, 0x04, 0x07, 0x00, 0xFF});
	case Drive::Focus:
		return viscaPayload({0x81, 0x01, 0x04, 0x08, 0x00, 0xFF});
	}
	return QByteArray();
}

void viscaIpModule::setTally(bool on)
{
	// Once: a camera that refused it would refuse it again, and a lost reply is the lamps' to send again.
	sendCommand(viscaPayload({0x81, 0x01, 0x7E, 0x01, 0x0A, 0x00, on ? 0x02 : 0x03, 0xFF}), 1);
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
	// Kept even when the camera does not confirm it, so the panel shows what the operator chose.
	presetSpeed = ViscaFields::presetSpeed.fit(speed, __func__);
	sendCommand(viscaPayload({0x81, 0x01, 0x06, 0x20, presetSpeed, 0xFF}));
}

void viscaIpModule::setPTZspeedComp(int value)
{
	sendCommand(viscaPayload({0x81, 0x01, 0x06, 0x1F, 0x01, ViscaFields::byte.fit(value, __func__), 0xFF}));
}

void viscaIpModule::sendLimitCorner(bool upRight, uint32_t pan, uint32_t tilt)
{
	// A limit is always set as a whole corner, so the coordinate that did not change is sent as last stored.
	QByteArray payload = viscaPayload({0x81, 0x01, 0x06, 0x07, 0x00, upRight ? 0x01 : 0x00});
	appendNibbles16(payload, pan);
	appendNibbles16(payload, tilt);
	payload.append(static_cast<char>(0xFF));
	sendCommand(payload);
}

void viscaIpModule::setPanRightLimit(int step, uint32_t max, uint32_t min)
{
	panRightLimit = limitPosition(LimitSide::PanRight, step, max, min, __func__);
	sendLimitCorner(true, panRightLimit, tiltUpLimit);
}

void viscaIpModule::setTiltUpLimit(int step, uint32_t max, uint32_t min)
{
	tiltUpLimit = limitPosition(LimitSide::TiltUp, step, max, min, __func__);
	sendLimitCorner(true, panRightLimit, tiltUpLimit);
}

void viscaIpModule::setPanLeftLimit(int step, uint32_t max, uint32_t min)
{
	panLeftLimit = limitPosition(LimitSide::PanLeft, step, max, min, __func__);
	sendLimitCorner(false, panLeftLimit, tiltDownLimit);
}

void viscaIpModule::setTiltDownLimit(int step, uint32_t max, uint32_t min)
{
	tiltDownLimit = limitPosition(LimitSide::TiltDown, step, max, min, __func__);
	sendLimitCorner(false, panLeftLimit, tiltDownLimit);
}

void viscaIpModule::setPanTilt_RightUpLimit_Clear()
{
	sendCommand(viscaPayload(
		{0x81, 0x01, 0x06, 0x07, 0x01, 0x01, 0x07, 0x0F, 0x0F, 0x0F, 0x07, 0x0F, 0x0F, 0x0F, 0xFF}));
}

void viscaIpModule::setPanTilt_LeftDownLimit_Clear()
{
	sendCommand(viscaPayload(
		{0x81, 0x01, 0x06, 0x07, 0x01, 0x00, 0x07, 0x0F, 0x0F, 0x0F, 0x07, 0x0F, 0x0F, 0x0F, 0xFF}));
}
