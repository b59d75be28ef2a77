#pragma once

#include <nlohmann/json.hpp>

#include <QPointer>

#include <string>
#include <vector>

class CameraDirector;

// What other programs (a button panel through obs-websocket) may ask of the cameras, by request type and JSON
// data, answered in JSON. Every answer carries "ok", and "error" with a reason when ok is false. Each field is
// checked for its JSON type before anything is sent: a slot or preset of 1.0, "1" or true is refused, so a
// program's mistake never moves a camera. The ranges of slots, presets and directions are the director's.
// Lives on the UI thread, like the director.
class CameraRequests {
public:
	explicit CameraRequests(CameraDirector *director);

	// "GetCameras", "CallPreset", "StorePreset", "Move", "Zoom", "Focus".
	static const std::vector<std::string> &types();

	nlohmann::json handle(const std::string &type, const nlohmann::json &data);

private:
	nlohmann::json cameras() const;

	QPointer<CameraDirector> director;
};
