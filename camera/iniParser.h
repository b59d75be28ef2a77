#pragma once

#include "camera/CapabilityRecords.h"

#include <nlohmann/json.hpp>

#include <string>

// Reads one capability profile (a JSON document despite the ".ini" name) completely at construction and keeps
// every section in its record. A profile that cannot be opened, is not JSON, or holds a section of the wrong
// shape is refused as a whole: isValid() is false and every record stays empty, so nobody ever works from a
// half-read profile.
class iniParser {
public:
	explicit iniParser(const std::string &filePath);

	// False when the file could not be opened or read, or is outside the profile format; error() says why.
	bool isValid() const { return valid; }
	const std::string &error() const { return fault; }

	// Readers over the held document. Absent or malformed entries read as empty records.
	cam_range getDirectRange(const std::string &sectionKey);
	cam_range getSpeedRange(const std::string &sectionKey);
	cam_range getPanTilt(const std::string &sectionKey, const std::string &subKey);
	cam_list getList(const std::string &sectionKey);
	::cam_memory getCamMemory() const;

	nlohmann::json document;

	::cam_zoom cam_zoom;
	::cam_focus cam_focus;
	cam_list cam_iris;
	cam_list cam_gain;
	cam_range cam_wb_bgain;
	cam_range cam_wb_rgain;
	cam_range cam_aperture;
	cam_range cam_colorgain;
	cam_range cam_colorhue;
	cam_list cam_gamma;
	::pan_tiltdrive pan_tiltdrive;
	::pan_tiltlimitset pan_tiltlimitset;
	::cam_memory cam_memory;
	cam_list cam_shutter;
	cam_list cam_wb;
	cam_list cam_ae;
	cam_list cam_image_mode;
	cam_list cam_mirror;
	cam_list cam_flip;

private:
	bool load(const std::string &filePath);
	bool checkShapes();
	void fillSections();

	bool valid = false;
	std::string fault;
};
