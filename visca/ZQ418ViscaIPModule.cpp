#include "ZQ418ViscaIPModule.h"
#include "ViscaCommand.h"
#include "ViscaInquiry.h"
#include "ViscaLog.h"

ZQ418ViscaIPModule::ZQ418ViscaIPModule() : viscaIpModule(nullptr) {}

int ZQ418ViscaIPModule::getSaturation()
{
	return inquire(ViscaInquiries::saturationByte);
}

int ZQ418ViscaIPModule::getAeGain()
{
	const int gain = inquire(ViscaInquiries::zq418Gain);
	// A failed inquiry has logged its own line.
	if (gain >= 0)
		qCDebug(lcLink) << "getAeGain:" << gain;
	return gain;
}

void ZQ418ViscaIPModule::setZoomDirect(int position)
{
	send(ViscaCommands::zoomPositionAlone, position);
}

void ZQ418ViscaIPModule::setPresetSpeed(int speed)
{
	sendPresetSpeed(ViscaCommands::zq418PresetSpeed, speed);
}
