#include "D26GViscaIPModule.h"
#include "ViscaField.h"
#include "ViscaInquiry.h"
#include "viscaPayload.h"

D26GViscaIPModule::D26GViscaIPModule() : viscaIpModule(nullptr) {}

int D26GViscaIPModule::getSaturation()
{
	return inquire(ViscaInquiries::saturationByte);
}

void D26GViscaIPModule::setPTZspeedComp(int value)
{
	sendCommand(viscaPayload({0x81, 0x01, 0x7E, 0x03, 0x03, ViscaFields::byte.fit(value, __func__), 0xFF}), 2);
}

void D26GViscaIPModule::setPresetSpeed(int speed)
{
	presetSpeed = ViscaFields::presetSpeed.fit(speed, __func__);
	sendCommand(viscaPayload({0x81, 0x01, 0x7E, 0x03, 0x02, presetSpeed, 0xFF}), 1);
}
