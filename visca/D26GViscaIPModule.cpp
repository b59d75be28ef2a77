#include "D26GViscaIPModule.h"
#include "ViscaInquiry.h"
#include "viscaPayload.h"

D26GViscaIPModule::D26GViscaIPModule() : viscaIpModule(nullptr) {}

int D26GViscaIPModule::getSaturation()
{
	return inquire(ViscaInquiries::saturationByte);
}

void D26GViscaIPModule::setPTZspeedComp(int value)
{
	sendCommand(viscaPayload({0x81, 0x01, 0x7E, 0x03, 0x03, value, 0xFF}), 2);
}

void D26GViscaIPModule::setPresetSpeed(int speed)
{
	presetSpeed = speed;
	sendCommand(viscaPayload({0x81, 0x01, 0x7E, 0x03, 0x02, speed, 0xFF}), 1);
}
