#pragma once

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

	uint32_t zoomMax() const;
	uint32_t zoomMin() const;
	uint32_t focusMax() const;
	uint32_t focusMin() const;
	uint8_t zoomSpeedMax() const;
	uint8_t zoomSpeedMin() const;
	uint8_t focusSpeedMax() const;
	uint8_t focusSpeedMin() const;
	uint8_t RgainMax() const;
	uint8_t RgainMin() const;
	uint8_t BgainMax() const;
	uint8_t BgainMin() const;
	uint8_t sharpeessMax() const;
	uint8_t sharpeessMin() const;
	uint8_t saturationMax() const;
	uint8_t saturationMin() const;
	uint8_t hueMax() const;
	uint8_t hueMin() const;
	uint8_t panSpeedMax() const;
	uint8_t panSpeedMin() const;
	uint8_t tiltSpeedMax() const;
	uint8_t tiltSpeedMin() const;
	uint32_t panRightMax() const;
	uint32_t panRightMin() const;
	uint32_t panLeftMax() const;
	uint32_t panLeftMin() const;
	uint32_t tiltUpMax() const;
	uint32_t tiltUpMin() const;
	uint32_t tiltDownMax() const;
	uint32_t tiltDownMin() const;
	uint8_t GammaMax() const;
	uint8_t GammaMin() const;

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
};
