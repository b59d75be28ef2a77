#include "control/PanelReading.h"

#include "visca/viscaIpModule.h"

namespace {

// One inquiry: its answer, or nothing when the camera did not answer it. The read-back keeps the low bits the
// panel shows (codes are bytes; white-balance gains may use two).
template <typename Getter>
std::optional<int> ask(viscaIpModule &link, Getter getter, int mask = 0xFF)
{
	const int answer = (link.*getter)();
	if (!link.lastExchangeOk())
		return std::nullopt;
	return answer & mask;
}

} // namespace

void PanelReading::readExposureValues(viscaIpModule &link)
{
	shutter = ask(link, &viscaIpModule::getShutterDirect);
	iris = ask(link, &viscaIpModule::getIrisDirect);
	gain = ask(link, &viscaIpModule::getAeGain);
}

void PanelReading::readWhiteBalanceValues(viscaIpModule &link)
{
	rGain = ask(link, &viscaIpModule::getRGain, 0xFFFF);
	bGain = ask(link, &viscaIpModule::getBGain, 0xFFFF);
}

void PanelReading::readImageValues(viscaIpModule &link)
{
	sharpness = ask(link, &viscaIpModule::getSharpness);
	hue = ask(link, &viscaIpModule::getHue);
	saturation = ask(link, &viscaIpModule::getSaturation);
	gamma = ask(link, &viscaIpModule::getGamma);
}

void PanelReading::readAll(viscaIpModule &link)
{
	zoom = ask(link, &viscaIpModule::getZoomDirect, 0xFFFF);
	focus = ask(link, &viscaIpModule::getFocusDirect, 0xFFFF);
	const bool af = link.getAfMode();
	if (link.lastExchangeOk())
		autoFocus = af;
	aeMode = ask(link, &viscaIpModule::getAeMode);
	readExposureValues(link);
	wbMode = ask(link, &viscaIpModule::getWBmode);
	readWhiteBalanceValues(link);
	imageMode = ask(link, &viscaIpModule::getImageMode);
	readImageValues(link);
	// Two inquiries; the outcome is that of the second, and a failed first one yields a value no map holds.
	const int effect = link.getDigEffect();
	if (link.lastExchangeOk() && effect >= 0)
		digEffect = effect;
}

void PanelReading::read(Part part, viscaIpModule &link)
{
	switch (part) {
	case Part::All:
		readAll(link);
		break;
	case Part::Exposure:
		readExposureValues(link);
		break;
	case Part::WhiteBalance:
		readWhiteBalanceValues(link);
		break;
	case Part::Image:
		readImageValues(link);
		break;
	}
}
