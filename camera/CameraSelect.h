#pragma once

#include "camera/CamIdList.h"

#include <QString>

#include <string>

class viscaGeneralOps;

// Model selection: turns an identification code into a model name and a model name into the capability object
// built from that model's profile file. Owns its own ID table.
class CameraSelect {
public:
	static constexpr const char *kUnknownModel = "Unknown";
	static constexpr const char *kDefaultModel = "NX-B93K";
	static constexpr const char *kProfileSuffix = ".ini";

	CameraSelect();
	~CameraSelect();
	CameraSelect(const CameraSelect &) = delete;
	CameraSelect &operator=(const CameraSelect &) = delete;

	// The model name of the first row whose code equals `code` exactly (case-sensitive), or "Unknown".
	std::string CamCode2IDname(std::string code) const;

	// A new capability object for the model, owned by the caller, or null when the model has no usable profile.
	// "Unknown" selects the default model. A missing profile shows the "ini Not Found: " box.
	viscaGeneralOps *getCamParam(std::string modelName);

	// The full path of the profile that getCamParam looks up for `modelName` ("Unknown" -> default model).
	static QString profilePathFor(std::string modelName);

private:
	CamIdList *camIdList;
};
