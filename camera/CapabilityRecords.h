#pragma once

#include <map>
#include <string>
#include <vector>

// The parsed content of a capability profile, kept as the text the file holds. An empty field means that the
// section is absent from the profile; "NOT_SUPPORT" means that the profile marks the function as unsupported.
// Numbers stay hexadecimal text here; viscaGeneralOps converts them once, into CapabilityNumbers, when it is made.

// A "min"/"max" pair.
struct cam_range {
	std::string max;
	std::string min;
};

// One map per array element of a "list" entry, in file order; std::map keeps each element's labels sorted
// byte-wise, whatever their order in the file.
using cam_list = std::vector<std::map<std::string, std::string>>;

struct cam_zoom {
	std::string directMax;
	std::string directMin;
	std::string speedMax;
	std::string speedMin;
};

struct cam_focus {
	std::string directMax;
	std::string directMin;
	std::string speedMax;
	std::string speedMin;
};

struct pan_tiltdrive {
	std::string panSpeedMax;
	std::string panSpeedMin;
	std::string tiltSpeedMax;
	std::string tiltSpeedMin;
};

struct pan_tiltlimitset {
	std::string rightMax;
	std::string rightMin;
	std::string leftMax;
	std::string leftMin;
	std::string upMax;
	std::string upMin;
	std::string downMax;
	std::string downMin;
};

struct cam_memory {
	std::string directMax;
	std::string directMin;
	cam_list list;
};
