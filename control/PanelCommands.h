#pragma once

#include "control/CameraCommand.h"

#include <optional>

class viscaGeneralOps;

namespace CameraCommands {

// The picture settings of the advanced panel: a mode or a value the camera stores. A newer value of a setting
// replaces one that still waits.
enum class Picture {
	AeMode,
	WbMode,
	ImageMode,
	DigEffect,
	Shutter,
	Iris,
	Gain,
	RGain,
	BGain,
	Sharpness,
	Hue,
	Saturation,
	Gamma,
};
// value: the mode's or the value's code
CameraCommand picture(Picture setting);
// One white balance measurement, as the camera sees the scene now.
CameraCommand onePushTrigger();

} // namespace CameraCommands

// The modes that decide which panel controls the operator may change, known by the code the model's profile
// gives them: a mode's label is translated for the operator and may read anyhow, its code does not change.
struct PanelModes {
	std::optional<int> manualExposure;
	std::optional<int> manualWhiteBalance;
	std::optional<int> onePushWhiteBalance;
	std::optional<int> customImage;

	// Empty for a model without a profile or without the mode.
	static PanelModes of(const viscaGeneralOps *ops);
};
