#include "HX7ViscaIPModule.h"
#include "ViscaCommand.h"
#include "ViscaInquiry.h"
#include "viscaPayload.h"

#include <QUdpSocket>

HX7ViscaIPModule::HX7ViscaIPModule() : viscaIpModule(nullptr) {}

bool HX7ViscaIPModule::onConnectToCamera(QString ip, int port)
{
	// The HX7 ignores the address-set probe, so a probe would only ever fail; reachability is checked with
	// isUdpSocketOK instead.
	closeCarriage();
	cameraAddr = QHostAddress(ip);
	cameraPortNum = static_cast<quint16>(port);
	return true;
}

bool HX7ViscaIPModule::isUdpSocketOK()
{
	// Any reply to this command shows the camera is there; what it says is not examined.
	const QByteArray payload = viscaPayload({0x81, 0x01, 0x04, 0x00, 0x12, 0xFF});
	QByteArray packet(8, '\0');
	setViscaIpHeader(reinterpret_cast<uint8_t *>(packet.data()), 0x00, static_cast<uint8_t>(payload.size()));
	packet.append(payload);
	writeVisca(reinterpret_cast<const uint8_t *>(packet.constData()), packet.size());
	const bool answered = !readVisca().isEmpty();
	recordExchange(answered, answered);
	return answered;
}

void HX7ViscaIPModule::setHue(int value)
{
	send(ViscaCommands::hx7Hue, value);
}

int HX7ViscaIPModule::getHue()
{
	return inquire(ViscaInquiries::hx7Hue);
}

void HX7ViscaIPModule::setSaturation(int value)
{
	send(ViscaCommands::hx7Saturation, value);
}

int HX7ViscaIPModule::getSaturation()
{
	return inquire(ViscaInquiries::hx7Saturation);
}

void HX7ViscaIPModule::setSharpness(int value)
{
	send(ViscaCommands::hx7Sharpness, value);
}

int HX7ViscaIPModule::getSharpness()
{
	return inquire(ViscaInquiries::hx7Sharpness);
}

void HX7ViscaIPModule::setZoomDirect(int position)
{
	send(ViscaCommands::zoomPositionAlone, position);
}

int HX7ViscaIPModule::getZoomDirect()
{
	return inquire(ViscaInquiries::zoomPosition);
}
