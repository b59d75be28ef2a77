#include "ViscaOperations.h"

#include "visca/HX7ViscaIPModule.h"
#include "visca/ViscaField.h"
#include "visca/viscaIpModule.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace ViscaOperations {

namespace {

// A value from the command line, saturated to the argument's type instead of wrapped: the link then clamps it
// to its field, and 4294967296 must not arrive as 0.
template <typename Argument>
Argument argument(long long value)
{
	using Limits = std::numeric_limits<Argument>;
	return static_cast<Argument>(std::clamp<long long>(value, static_cast<long long>(Limits::min()),
							   static_cast<long long>(Limits::max())));
}

bool always(const Values &)
{
	return true;
}

Operation store(void (viscaIpModule::*setter)(int), const ViscaField *field = nullptr)
{
	return {Kind::Store, 1,
		[setter](viscaIpModule &link, const Values &v) {
			(link.*setter)(argument<int>(v[0]));
			return 0LL;
		},
		[](const Values &) { return false; }, field};
}

Operation command(void (viscaIpModule::*cmd)())
{
	return {Kind::Command, 0,
		[cmd](viscaIpModule &link, const Values &) {
			(link.*cmd)();
			return 0LL;
		},
		always};
}

Operation command(void (viscaIpModule::*cmd)(int), const ViscaField *field = nullptr)
{
	return {Kind::Command, 1,
		[cmd](viscaIpModule &link, const Values &v) {
			(link.*cmd)(argument<int>(v[0]));
			return 0LL;
		},
		always, field};
}

Operation limit(void (viscaIpModule::*cmd)(int, uint32_t, uint32_t))
{
	return {Kind::Command, 3,
		[cmd](viscaIpModule &link, const Values &v) {
			(link.*cmd)(argument<int>(v[0]), argument<uint32_t>(v[1]), argument<uint32_t>(v[2]));
			return 0LL;
		},
		always};
}

template <typename Result>
Operation inquiry(Result (viscaIpModule::*get)())
{
	return {Kind::Inquiry, 0,
		[get](viscaIpModule &link, const Values &) { return static_cast<long long>((link.*get)()); }, always};
}

Operation probe(bool (viscaIpModule::*check)())
{
	return {Kind::Probe, 0, [check](viscaIpModule &link, const Values &) { return (link.*check)() ? 1LL : 0LL; },
		always};
}

std::map<QString, Operation> buildTable()
{
	std::map<QString, Operation> ops{
		// Probes
		{"isAddrSetOK", probe(&viscaIpModule::isAddrSetOK)},
		{"isUdpSocketOK", probe(&viscaIpModule::isUdpSocketOK)},
		{"isPowerOK", probe(&viscaIpModule::isPowerOK)},
		{"setCmdClear", command(&viscaIpModule::setCmdClear)},
		// Motion
		{"setHome", command(&viscaIpModule::setHome)},
		{"setMotorUP", command(&viscaIpModule::setMotorUP)},
		{"setMotorDown", command(&viscaIpModule::setMotorDown)},
		{"setMotorLeft", command(&viscaIpModule::setMotorLeft)},
		{"setMotorRight", command(&viscaIpModule::setMotorRight)},
		{"setMotorUpLeft", command(&viscaIpModule::setMotorUpLeft)},
		{"setMotorUpRight", command(&viscaIpModule::setMotorUpRight)},
		{"setMotorDownLeft", command(&viscaIpModule::setMotorDownLeft)},
		{"setMotorDownRight", command(&viscaIpModule::setMotorDownRight)},
		{"setMotorStop", command(&viscaIpModule::setMotorStop)},
		{"setPanSpeed", store(&viscaIpModule::setPanSpeed, &ViscaFields::panSpeed)},
		{"setTiltSpeed", store(&viscaIpModule::setTiltSpeed, &ViscaFields::tiltSpeed)},
		{"setPresetSpeed", command(&viscaIpModule::setPresetSpeed, &ViscaFields::presetSpeed)},
		{"setPTZspeedComp", command(&viscaIpModule::setPTZspeedComp, &ViscaFields::byte)},
		// Pan/tilt limits: step, max, min
		{"setPanRightLimit", limit(&viscaIpModule::setPanRightLimit)},
		{"setTiltUpLimit", limit(&viscaIpModule::setTiltUpLimit)},
		{"setPanLeftLimit", limit(&viscaIpModule::setPanLeftLimit)},
		{"setTiltDownLimit", limit(&viscaIpModule::setTiltDownLimit)},
		{"setPanTilt_RightUpLimit_Clear", command(&viscaIpModule::setPanTilt_RightUpLimit_Clear)},
		{"setPanTilt_LeftDownLimit_Clear", command(&viscaIpModule::setPanTilt_LeftDownLimit_Clear)},
		// Lens
		{"setZoomSpeed", store(&viscaIpModule::setZoomSpeed, &ViscaFields::zoomSpeed)},
		{"setZoomIn", command(&viscaIpModule::setZoomIn)},
		{"setZoomOut", command(&viscaIpModule::setZoomOut)},
		{"setZoomStop", command(&viscaIpModule::setZoomStop)},
		{"setZoomDirect", command(&viscaIpModule::setZoomDirect, &ViscaFields::position)},
		{"setFocusSpeed", store(&viscaIpModule::setFocusSpeed, &ViscaFields::focusSpeed)},
		{"setFocusNearWithSpeed", command(&viscaIpModule::setFocusNearWithSpeed)},
		{"setFocusfarWithSpeed", command(&viscaIpModule::setFocusfarWithSpeed)},
		{"setFocusStop", command(&viscaIpModule::setFocusStop)},
		{"setFocusDirect", command(&viscaIpModule::setFocusDirect, &ViscaFields::position)},
		{"getFocusDirect", inquiry(&viscaIpModule::getFocusDirect)},
		{"setAfMode",
		 {Kind::Command, 1,
		  [](viscaIpModule &link, const Values &v) {
			  link.setAfMode(v[0] != 0);
			  return 0LL;
		  },
		  always}},
		{"getAfMode", inquiry(&viscaIpModule::getAfMode)},
		// Presets
		{"setMemory1_Index", store(&viscaIpModule::setMemory1_Index, &ViscaFields::memory)},
		{"setMemory1_Reset", command(&viscaIpModule::setMemory1_Reset)},
		{"setMemory1_Save", command(&viscaIpModule::setMemory1_Save)},
		{"setMemory1_Recall", command(&viscaIpModule::setMemory1_Recall)},
		// Exposure
		{"setAeMode", command(&viscaIpModule::setAeMode, &ViscaFields::nibble)},
		{"getAeMode", inquiry(&viscaIpModule::getAeMode)},
		{"setShutterDirect", command(&viscaIpModule::setShutterDirect, &ViscaFields::twoNibbles)},
		{"getShutterDirect", inquiry(&viscaIpModule::getShutterDirect)},
		{"setIrisDirect", command(&viscaIpModule::setIrisDirect, &ViscaFields::byte)},
		{"getIrisDirect", inquiry(&viscaIpModule::getIrisDirect)},
		{"setAeGain", command(&viscaIpModule::setAeGain, &ViscaFields::twoNibbles)},
		{"getAeGain", inquiry(&viscaIpModule::getAeGain)},
		// White balance
		{"setWBmode", command(&viscaIpModule::setWBmode, &ViscaFields::nibble)},
		{"getWBmode", inquiry(&viscaIpModule::getWBmode)},
		{"setRGain", command(&viscaIpModule::setRGain, &ViscaFields::twoNibbles)},
		{"getRGain", inquiry(&viscaIpModule::getRGain)},
		{"setBGain", command(&viscaIpModule::setBGain, &ViscaFields::twoNibbles)},
		{"getBGain", inquiry(&viscaIpModule::getBGain)},
		{"setOnePushTrigger", command(&viscaIpModule::setOnePushTrigger)},
		// Image
		{"setBrightness", command(&viscaIpModule::setBrightness, &ViscaFields::byte)},
		{"getBrightness", inquiry(&viscaIpModule::getBrightness)},
		{"setHue", command(&viscaIpModule::setHue)},
		{"getHue", inquiry(&viscaIpModule::getHue)},
		{"setSaturation", command(&viscaIpModule::setSaturation)},
		{"getSaturation", inquiry(&viscaIpModule::getSaturation)},
		{"setSharpness", command(&viscaIpModule::setSharpness)},
		{"getSharpness", inquiry(&viscaIpModule::getSharpness)},
		{"setGamma", command(&viscaIpModule::setGamma, &ViscaFields::nibble)},
		{"getGamma", inquiry(&viscaIpModule::getGamma)},
		{"setFlip", command(&viscaIpModule::setFlip, &ViscaFields::nibble)},
		{"getFlip", inquiry(&viscaIpModule::getFlip)},
		{"setMirror", command(&viscaIpModule::setMirror, &ViscaFields::nibble)},
		{"getMirror", inquiry(&viscaIpModule::getMirror)},
		{"setImageMode", command(&viscaIpModule::setImageMode, &ViscaFields::nibble)},
		{"getImageMode", inquiry(&viscaIpModule::getImageMode)},
		{"getDigEffect", inquiry(&viscaIpModule::getDigEffect)},
	};

	// The HX7 answers its zoom position without the settling wait the other models need; the tool asks the
	// link it actually holds.
	ops.emplace("getZoomDirect", Operation{Kind::Inquiry, 0,
					       [](viscaIpModule &link, const Values &) {
						       if (auto *hx7 = dynamic_cast<HX7ViscaIPModule *>(&link))
							       return static_cast<long long>(hx7->getZoomDirect());
						       return static_cast<long long>(link.getZoomDirect());
					       },
					       always});
	// Effects outside 0..3 are not sent at all.
	auto digEffect = command(&viscaIpModule::setDigEffect);
	digEffect.sends = [](const Values &v) { return v[0] >= 0 && v[0] <= 3; };
	ops.emplace("setDigEffect", digEffect);
	return ops;
}

} // namespace

const std::map<QString, Operation> &table()
{
	static const std::map<QString, Operation> operations = buildTable();
	return operations;
}

} // namespace ViscaOperations
