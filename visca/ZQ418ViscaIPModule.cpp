#include "ZQ418ViscaIPModule.h"
#include "ViscaInquiry.h"
#include "viscaPayload.h"

#include <QDebug>

ZQ418ViscaIPModule::ZQ418ViscaIPModule() : viscaIpModule(nullptr) {}

int ZQ418ViscaIPModule::getSaturation()
{
	return inquire(ViscaInquiries::saturationByte);
}

int ZQ418ViscaIPModule::getAeGain()
{
	const int gain = inquire(ViscaInquiries::zq418Gain);
	qDebug() << "getAeGain:" << gain;
	return gain;
}

void ZQ418ViscaIPModule::setZoomDirect(int position)
{
	QByteArray payload = viscaPayload({0x81, 0x01, 0x04, 0x47});
	appendNibbles16(payload, static_cast<uint32_t>(position));
	payload.append(static_cast<char>(0xFF));
	sendCommand(payload, 2);
}

void ZQ418ViscaIPModule::setPresetSpeed(int speed)
{
	presetSpeed = speed;
	sendCommand(viscaPayload({0x81, 0x01, 0x01, speed, 0xFF}), 2);
}
