#include "control/PanelCommands.h"

#include "camera/viscaGeneralOps.h"
#include "visca/viscaIpModule.h"

#include <string>

namespace {

using Setter = void (viscaIpModule::*)(int);

CameraCommand storedSetting(const char *name, Setter setter)
{
	return CameraCommands::setting(name, [setter](viscaIpModule &link, int value) { (link.*setter)(value); });
}

// The code of the entry a profile list names `label` (the profile's own, untranslated name).
std::optional<int> profileCode(const cam_list &list, const std::string &label)
{
	for (const auto &entry : list) {
		const auto found = entry.find(label);
		if (found != entry.end())
			return int(viscaGeneralOps::hexValue(found->second));
	}
	return std::nullopt;
}

} // namespace

namespace CameraCommands {

CameraCommand picture(Picture setting)
{
	switch (setting) {
	case Picture::AeMode:
		return storedSetting("setAeMode", &viscaIpModule::setAeMode);
	case Picture::WbMode:
		return storedSetting("setWBmode", &viscaIpModule::setWBmode);
	case Picture::ImageMode:
		return storedSetting("setImageMode", &viscaIpModule::setImageMode);
	case Picture::DigEffect:
		return storedSetting("setDigEffect", &viscaIpModule::setDigEffect);
	case Picture::Shutter:
		return storedSetting("setShutterDirect", &viscaIpModule::setShutterDirect);
	case Picture::Iris:
		return storedSetting("setIrisDirect", &viscaIpModule::setIrisDirect);
	case Picture::Gain:
		return storedSetting("setAeGain", &viscaIpModule::setAeGain);
	case Picture::RGain:
		return storedSetting("setRGain", &viscaIpModule::setRGain);
	case Picture::BGain:
		return storedSetting("setBGain", &viscaIpModule::setBGain);
	case Picture::Sharpness:
		return storedSetting("setSharpness", &viscaIpModule::setSharpness);
	case Picture::Hue:
		return storedSetting("setHue", &viscaIpModule::setHue);
	case Picture::Saturation:
		return storedSetting("setSaturation", &viscaIpModule::setSaturation);
	case Picture::Gamma:
		return storedSetting("setGamma", &viscaIpModule::setGamma);
	}
	return CameraCommand();
}

CameraCommand onePushTrigger()
{
	CameraCommand command;
	command.name = "setOnePushTrigger";
	command.run = [](viscaIpModule &link, int) { link.setOnePushTrigger(); };
	return command;
}

} // namespace CameraCommands

PanelModes PanelModes::of(const viscaGeneralOps *ops)
{
	PanelModes modes;
	if (!ops)
		return modes;
	modes.manualExposure = profileCode(ops->aeList, "Manual");
	modes.manualWhiteBalance = profileCode(ops->wbList, "Manual");
	modes.onePushWhiteBalance = profileCode(ops->wbList, "One_Push_WB");
	modes.customImage = profileCode(ops->imageModeList, "Custom");
	return modes;
}
