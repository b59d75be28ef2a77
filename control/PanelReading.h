#pragma once

#include <optional>

class viscaIpModule;

// What the camera reported for its lens and picture settings. A value is empty when the camera gave no answer
// for it: the window then keeps showing what it showed, instead of a made-up value.
struct PanelReading {
	// Lens.
	std::optional<int> zoom;
	std::optional<int> focus;
	std::optional<bool> autoFocus;
	// Exposure.
	std::optional<int> aeMode;
	std::optional<int> shutter;
	std::optional<int> iris;
	std::optional<int> gain;
	// White balance.
	std::optional<int> wbMode;
	std::optional<int> rGain;
	std::optional<int> bGain;
	// Image.
	std::optional<int> imageMode;
	std::optional<int> sharpness;
	std::optional<int> hue;
	std::optional<int> saturation;
	std::optional<int> gamma;
	std::optional<int> digEffect;

	// The groups the panel reads back on their own, and the whole panel, in the order the camera is asked.
	void readExposureValues(viscaIpModule &link);
	void readWhiteBalanceValues(viscaIpModule &link);
	void readImageValues(viscaIpModule &link);
	void readAll(viscaIpModule &link);

	// The same, named by value, for work queued to read one of them later.
	enum class Part { All, Exposure, WhiteBalance, Image };
	void read(Part part, viscaIpModule &link);
};
