// Exposure, white balance and image settings of the camera link.

#include "ViscaCommand.h"
#include "ViscaInquiry.h"
#include "viscaIpModule.h"
#include "ViscaLog.h"

using ViscaCommands::kOff;
using ViscaCommands::kOn;

// --- Exposure ---

void viscaIpModule::setAeMode(int mode)
{
	send(ViscaCommands::aeMode, mode);
}

int viscaIpModule::getAeMode()
{
	return inquire(ViscaInquiries::aeMode);
}

void viscaIpModule::setShutterDirect(int value)
{
	send(ViscaCommands::shutter, value);
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
	send(ViscaCommands::iris, value);
}

int viscaIpModule::getIrisDirect()
{
	return inquire(ViscaInquiries::iris);
}

void viscaIpModule::setAeGain(int value)
{
	send(ViscaCommands::gain, value);
}

int viscaIpModule::getAeGain()
{
	return inquire(ViscaInquiries::gain);
}

// --- White balance ---

void viscaIpModule::setWBmode(int mode)
{
	send(ViscaCommands::wbMode, mode);
}

int viscaIpModule::getWBmode()
{
	return inquire(ViscaInquiries::wbMode);
}

void viscaIpModule::setRGain(int value)
{
	send(ViscaCommands::redGain, value);
}

int viscaIpModule::getRGain()
{
	return inquire(ViscaInquiries::redGain);
}

void viscaIpModule::setBGain(int value)
{
	send(ViscaCommands::blueGain, value);
}

int viscaIpModule::getBGain()
{
	return inquire(ViscaInquiries::blueGain);
}

void viscaIpModule::setOnePushTrigger()
{
	send(ViscaCommands::onePushTrigger);
}

// --- Image ---

void viscaIpModule::setBrightness(int value)
{
	send(ViscaCommands::brightness, value);
}

int viscaIpModule::getBrightness()
{
	return inquire(ViscaInquiries::brightness);
}

void viscaIpModule::setHue(int value)
{
	send(ViscaCommands::hue, value);
}

int viscaIpModule::getHue()
{
	return inquire(ViscaInquiries::hue);
}

void viscaIpModule::setSaturation(int value)
{
	send(ViscaCommands::saturation, value);
}

int viscaIpModule::getSaturation()
{
	return inquire(ViscaInquiries::saturation);
}

void viscaIpModule::setSharpness(int value)
{
	send(ViscaCommands::sharpness, value);
}

int viscaIpModule::getSharpness()
{
	return inquire(ViscaInquiries::sharpness);
}

void viscaIpModule::setGamma(int value)
{
	send(ViscaCommands::gamma, value);
}

int viscaIpModule::getGamma()
{
	return inquire(ViscaInquiries::gamma);
}

void viscaIpModule::setFlip(int value)
{
	send(ViscaCommands::flip, value);
}

int viscaIpModule::getFlip()
{
	return inquire(ViscaInquiries::flip);
}

void viscaIpModule::setMirror(int value)
{
	send(ViscaCommands::mirror, value);
}

int viscaIpModule::getMirror()
{
	return inquire(ViscaInquiries::mirror);
}

void viscaIpModule::setImageMode(int value)
{
	send(ViscaCommands::imageMode, value);
}

int viscaIpModule::getImageMode()
{
	return inquire(ViscaInquiries::imageMode);
}

namespace {

struct EffectStep {
	const ViscaCommand &setting; // mirror or flip
	int value;                   // kOn or kOff
};

// The digital effect is a pair of mirror/flip settings; where one is switched off and the other on, the one
// switched off goes first.
const EffectStep kEffectSteps[4][2] = {
	{{ViscaCommands::mirror, kOff}, {ViscaCommands::flip, kOff}}, // 0: neither
	{{ViscaCommands::flip, kOff}, {ViscaCommands::mirror, kOn}},  // 1: mirror
	{{ViscaCommands::mirror, kOff}, {ViscaCommands::flip, kOn}},  // 2: flip
	{{ViscaCommands::mirror, kOn}, {ViscaCommands::flip, kOn}},   // 3: mirror and flip
};

} // namespace

void viscaIpModule::setDigEffect(int effect)
{
	if (effect < 0 || effect > 3)
		return;
	const EffectStep(&steps)[2] = kEffectSteps[effect];
	send(steps[0].setting, steps[0].value);
	pauseFor(kEffectStepPauseMs);
	send(steps[1].setting, steps[1].value);
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
