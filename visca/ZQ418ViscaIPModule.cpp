#include "ZQ418ViscaIPModule.h"
#include "viscaPayload.h"

#include <QDebug>

ZQ418ViscaIPModule::ZQ418ViscaIPModule() : viscaIpModule(nullptr) {}

int ZQ418ViscaIPModule::getSaturation()
{
	return replyByte(sendInquiry(viscaPayload({0x81, 0x09, 0x04, 0x49, 0xFF})), 13);
}

int ZQ418ViscaIPModule::getAeGain()
{
	const int gain = replyByte(sendInquiry(viscaPayload({0x81, 0x09, 0x04, 0x0C, 0xFF})), 10);
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
