// Exposure, white balance and image settings of the camera link.

#include "ViscaField.h"
#include "ViscaInquiry.h"
#include "viscaIpModule.h"
#include "ViscaLog.h"
#include "viscaPayload.h"

// --- Exposure ---

void viscaIpModule::setAeMode(int mode)
{
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x39, ViscaFields::nibble.fit(mode, __func__), 0xFF}));
}

int viscaIpModule::getAeMode()
{
	return inquire(ViscaInquiries::aeMode);
}

void viscaIpModule::setShutterDirect(int value)
{
	QByteArray payload = viscaPayload({0x81, 0x01, 0x04, 0x4A, 0x00, 0x00});
	appendNibbles8(payload, ViscaFields::twoNibbles.fit(value, __func__));
	payload.append(static_cast<char>(0xFF));
	sendCommand(payload);
}

int viscaIpModule::getShutterDirect()
{
	const int value = inquire(ViscaInquiries::shutter);
	// A failed inquiry has logged its own line.
	if (value >= 0)
		qCDebug(lcLink) << "getShutterDirect:" << value;
	return value;
}

void viscaIpModule::setIrisDirect(int value)
{
	sendCommand(
		viscaPayload({0x81, 0x01, 0x04, 0x4B, 0x00, 0x00, 0x00, ViscaFields::byte.fit(value, __func__), 0xFF}));
}

int viscaIpModule::getIrisDirect()
{
	return inquire(ViscaInquiries::iris);
}

void viscaIpModule::setAeGain(int value)
{
	QByteArray payload = viscaPayload({0x81, 0x01, 0x04, 0x4C, 0x00, 0x00});
	appendNibbles8(payload, ViscaFields::twoNibbles.fit(value, __func__));
	payload.append(static_cast<char>(0xFF));
	sendCommand(payload);
}

int viscaIpModule::getAeGain()
{
	return inquire(ViscaInquiries::gain);
}

// --- White balance ---

void viscaIpModule::setWBmode(int mode)
{
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x35, ViscaFields::nibble.fit(mode, __func__), 0xFF}));
}

int viscaIpModule::getWBmode()
{
	return inquire(ViscaInquiries::wbMode);
}

void viscaIpModule::setRGain(int value)
{
	QByteArray payload = viscaPayload({0x81, 0x01, 0x04, 0x43, 0x00, 0x00});
	appendNibbles8(payload, ViscaFields::twoNibbles.fit(value, __func__));
	payload.append(static_cast<char>(0xFF));
	sendCommand(payload);
}

int viscaIpModule::getRGain()
{
	return inquire(ViscaInquiries::redGain);
}

void viscaIpModule::setBGain(int value)
{
	QByteArray payload = viscaPayload({0x81, 0x01, 0x04, 0x44, 0x00, 0x00});
	appendNibbles8(payload, ViscaFields::twoNibbles.fit(value, __func__));
	payload.append(static_cast<char>(0xFF));
	sendCommand(payload);
}

int viscaIpModule::getBGain()
{
	return inquire(ViscaInquiries::blueGain);
}

void viscaIpModule::setOnePushTrigger()
{
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x10, 0x05, 0xFF}));
}

// --- Image ---

void viscaIpModule::setBrightness(int value)
{
	sendCommand(
		viscaPayload({0x81, 0x01, 0x04, 0x4D, 0x00, 0x00, 0x00, ViscaFields::byte.fit(value, __func__), 0xFF}));
}

int viscaIpModule::getBrightness()
{
	return inquire(ViscaInquiries::brightness);
}

void viscaIpModule::setHue(int value)
{
	sendCommand(
		viscaPayload({0x81, 0x01, 0x04, 0x4F, 0x00, 0x00, 0x00, ViscaFields::byte.fit(value, __func__), 0xFF}));
}

int viscaIpModule::getHue()
{
	return inquire(ViscaInquiries::hue);
}

void viscaIpModule::setSaturation(int value)
{
	sendCommand(
		viscaPayload({0x81, 0x01, 0x04, 0x49, 0x00, 0x00, 0x00, ViscaFields::byte.fit(value, __func__), 0xFF}));
}

int viscaIpModule::getSaturation()
{
	return inquire(ViscaInquiries::saturation);
}

void viscaIpModule::setSharpness(int value)
{
	QByteArray payload = viscaPayload({0x81, 0x01, 0x04, 0x42, 0x00, 0x00});
	appendNibbles8(payload, ViscaFields::twoNibbles.fit(value, __func__));
	payload.append(static_cast<char>(0xFF));
	sendCommand(payload);
}

int viscaIpModule::getSharpness()
{
	return inquire(ViscaInquiries::sharpness);
}

void viscaIpModule::setGamma(int value)
{
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x5B, ViscaFields::nibble.fit(value, __func__), 0xFF}));
}

int viscaIpModule::getGamma()
{
	return inquire(ViscaInquiries::gamma);
}

void viscaIpModule::setFlip(int value)
{
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x66, ViscaFields::nibble.fit(value, __func__), 0xFF}));
}

int viscaIpModule::getFlip()
{
	return inquire(ViscaInquiries::flip);
}

void viscaIpModule::setMirror(int value)
{
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x61, ViscaFields::nibble.fit(value, __func__), 0xFF}));
}

int viscaIpModule::getMirror()
{
	return inquire(ViscaInquiries::mirror);
}

void viscaIpModule::setImageMode(int value)
{
	// Switching the image mode reprocesses the whole picture; its completion is the reply to check.
	expectSecondReply();
	sendCommand(viscaPayload({0x81, 0x01, 0x04, 0x3F, 0x04, ViscaFields::nibble.fit(value, __func__), 0xFF}));
}

int viscaIpModule::getImageMode()
{
	return inquire(ViscaInquiries::imageMode);
}

namespace {

constexpr int kMirror = 0x61;
constexpr int kFlip = 0x66;
constexpr int kOn = 0x02;
constexpr int kOff = 0x03;

struct EffectStep {
	int setting; // kMirror or kFlip
	int value;   // kOn or kOff
};

// The digital effect is a pair of mirror/flip settings; where one is switched off and the other on, the one
// switched off goes first.
constexpr EffectStep kEffectSteps[4][2] = {
	{{kMirror, kOff}, {kFlip, kOff}}, // 0: neither
	{{kFlip, kOff}, {kMirror, kOn}},  // 1: mirror
	{{kMirror, kOff}, {kFlip, kOn}},  // 2: flip
	{{kMirror, kOn}, {kFlip, kOn}},   // 3: mirror and flip
};

} // namespace

void viscaIpModule::setDigEffect(int effect)
{
	if (effect < 0 || effect > 3)
		return;
	const EffectStep(&steps)[2] = kEffectSteps[effect];
	sendCommand(viscaPayload({0x81, 0x01, 0x04, steps[0].setting, steps[0].value, 0xFF}));
	pauseFor(kEffectStepPauseMs);
	sendCommand(viscaPayload({0x81, 0x01, 0x04, steps[1].setting, steps[1].value, 0xFF}));
}

int viscaIpModule::getDigEffect()
{
	const int mirror = getMirror();
	const bool mirrorHeard = lastExchangeHeard;
	const int flip = getFlip();
	// Half an answer is no answer: the effect is made of both settings.
	if (mirror < 0 || flip < 0) {
		recordExchange(false, mirrorHeard || lastExchangeHeard);
		return -1;
	}
	switch (mirror * 10 + flip) {
	case 22:
		return 3;
	case 32:
		return 2;
	case 23:
		return 1;
	default:
		return 0;
	}
}
