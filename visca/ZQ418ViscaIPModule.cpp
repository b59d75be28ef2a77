#include "ZQ418ViscaIPModule.h"
#include "ViscaField.h"
#include "ViscaInquiry.h"
#include "ViscaLog.h"
#include "viscaPayload.h"

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
	QByteArray payload = viscaPayload({0x81, 0x01, 0x04, 0x47});
	appendNibbles16(payload, uint32_t(ViscaFields::position.fit(position, __func__)));
	payload.append(static_cast<char>(0xFF));
	sendCommand(payload, 2);
}

void ZQ418ViscaIPModule::setPresetSpeed(int speed)
{
	presetSpeed = ViscaFields::presetSpeed.fit(speed, __func__);
	sendCommand(viscaPayload({0x81, 0x01, 0x01, presetSpeed, 0xFF}), 2);
}
