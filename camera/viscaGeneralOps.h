#pragma once

#include "camera/CapabilityNumbers.h"
#include "camera/CapabilityRecords.h"

#include <QMap>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class iniParser;

// The capability object of one camera model: loads the model's profile and turns its hexadecimal text into the
// numbers and label -> value maps the controls are built from. Read-only after construction.
//
// A profile that could not be read (see iniParser) gives isValid() == false; such an object answers 0 from
// every query and has empty maps, and callers treat it like a missing profile.
class viscaGeneralOps {
public:
	// Label shown to the operator -> value the camera expects, iterated in label order.
	using LabelValueMap = QMap<std::string, int>;
	// Looks up the translation of a locale key; the module installs the host's lookup at load. Without one,
	// every key stands for itself.
	using TextLookup = std::function<std::string(const std::string &key)>;

	viscaGeneralOps(std::string modelName, std::string profilePath);
	~viscaGeneralOps();
	viscaGeneralOps(const viscaGeneralOps &) = delete;
	viscaGeneralOps &operator=(const viscaGeneralOps &) = delete;

	bool isValid() const;
	// Why the profile was refused; empty for a valid profile.
	std::string profileError() const;

	void getParserData();
	std::string getNAME() const;

	// The numeric queries read the numbers converted when the object was made (CapabilityNumbers).
	uint32_t zoomMax() const { return numbers.zoom.max; }
	uint32_t zoomMin() const { return numbers.zoom.min; }
	uint32_t focusMax() const { return numbers.focus.max; }
	uint32_t focusMin() const { return numbers.focus.min; }
	uint8_t zoomSpeedMax() const { return numbers.zoomSpeed.max; }
	uint8_t zoomSpeedMin() const { return numbers.zoomSpeed.min; }
	uint8_t focusSpeedMax() const { return numbers.focusSpeed.max; }
	uint8_t focusSpeedMin() const { return numbers.focusSpeed.min; }
	uint8_t RgainMax() const { return numbers.redGain.max; }
	uint8_t RgainMin() const { return numbers.redGain.min; }
	uint8_t BgainMax() const { return numbers.blueGain.max; }
	uint8_t BgainMin() const { return numbers.blueGain.min; }
	uint8_t sharpeessMax() const { return numbers.sharpness.max; }
	uint8_t sharpeessMin() const { return numbers.sharpness.min; }
	uint8_t saturationMax() const { return numbers.saturation.max; }
	uint8_t saturationMin() const { return numbers.saturation.min; }
	uint8_t hueMax() const { return numbers.hue.max; }
	uint8_t hueMin() const { return numbers.hue.min; }
	uint8_t panSpeedMax() const { return numbers.panSpeed.max; }
	uint8_t panSpeedMin() const { return numbers.panSpeed.min; }
	uint8_t tiltSpeedMax() const { return numbers.tiltSpeed.max; }
	uint8_t tiltSpeedMin() const { return numbers.tiltSpeed.min; }
	uint32_t panRightMax() const { return numbers.panRight.max; }
	uint32_t panRightMin() const { return numbers.panRight.min; }
	uint32_t panLeftMax() const { return numbers.panLeft.max; }
	uint32_t panLeftMin() const { return numbers.panLeft.min; }
	uint32_t tiltUpMax() const { return numbers.tiltUp.max; }
	uint32_t tiltUpMin() const { return numbers.tiltUp.min; }
	uint32_t tiltDownMax() const { return numbers.tiltDown.max; }
	uint32_t tiltDownMin() const { return numbers.tiltDown.min; }
	uint8_t GammaMax() const { return numbers.gamma.max; }
	uint8_t GammaMin() const { return numbers.gamma.min; }

	// A profile value as a number: empty and "NOT_SUPPORT" give 0, hexadecimal text (with or without 0x)
	// its value; anything else gives 0 and one log line. Never throws.
	static uint32_t hexValue(const std::string &text);

	static void setTextLookup(TextLookup lookup);
	static std::string translate(const std::string &key);

	std::string modelName;
	iniParser *parser = nullptr;
	LabelValueMap wbModeMap;
	LabelValueMap aeModeMap;
	LabelValueMap gainMap;
	LabelValueMap shutterMap;
	LabelValueMap irisMap;
	LabelValueMap mirrorFlipMap;
	LabelValueMap imageModeMap;
	LabelValueMap memorySpeedMap;
	LabelValueMap gammaMap;
	std::vector<uint8_t> gammaValues;
	cam_zoom zoom;
	cam_focus focus;
	cam_list irisList;
	cam_list gainList;
	cam_range bgain;
	cam_range rgain;
	cam_range aperture;
	cam_range colorGain;
	cam_range colorHue;
	cam_list gammaList;
	pan_tiltdrive panTiltDrive;
	pan_tiltlimitset panTiltLimit;
	cam_memory memory;
	cam_list shutterList;
	cam_list wbList;
	cam_list aeList;
	cam_list imageModeList;
	cam_list mirrorList;
	cam_list flipList;

private:
	CapabilityNumbers numbers;
};
