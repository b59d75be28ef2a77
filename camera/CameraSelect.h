#pragma once

#include <QString>

#include <string>

class viscaGeneralOps;

// Model selection: turns an identification code into a model name and a model name into the capability object
// built from that model's profile file, both after the camera catalogue.
class CameraSelect {
public:
	static constexpr const char *kUnknownModel = "Unknown";
	static constexpr const char *kProfileSuffix = ".ini";

	// The model name of the catalogue row whose code equals `code` exactly (case-sensitive), or "Unknown".
	std::string CamCode2IDname(std::string code) const;

	// A new capability object for the model, owned by the caller, or null when the model has no usable profile.
	// "Unknown" selects the default model. A missing profile shows the "ini Not Found: " box.
	viscaGeneralOps *getCamParam(std::string modelName);

	// The full path of the profile that getCamParam looks up for `modelName` ("Unknown" -> default model).
	static QString profilePathFor(std::string modelName);
};
