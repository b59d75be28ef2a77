#include "D26GViscaIPModule.h"
#include "ViscaCommand.h"
#include "ViscaInquiry.h"

D26GViscaIPModule::D26GViscaIPModule() : viscaIpModule(nullptr) {}

int D26GViscaIPModule::getSaturation()
{
	return inquire(ViscaInquiries::saturationByte);
}

void D26GViscaIPModule::setPTZspeedComp(int value)
{
	send(ViscaCommands::d26gSpeedCompensation, value);
}

void D26GViscaIPModule::setPresetSpeed(int speed)
{
	sendPresetSpeed(ViscaCommands::d26gPresetSpeed, speed);
}
