#pragma once

#include <nlohmann/json.hpp>

#include <QObject>

#include <memory>
#include <string>
#include <vector>

class CameraDirector;
class PresetPictures;

// What other programs (a button panel through obs-websocket) may ask of the cameras, by request type and JSON
// data, answered in JSON. Every answer carries "ok", and "error" with a reason when ok is false. Each field is
// checked for its JSON type before anything is sent: a slot or preset of 1.0, "1" or true is refused, so a
// program's mistake never moves a camera. The ranges of slots, presets and directions are the director's.
//
// handle() may be called on any thread and never waits for the director's (UI) thread, which may be busy: a
// request is checked where it arrives, against a picture of the cameras the director's thread keeps current, and
// a command is handed over to the director without waiting for it. A slot without an address, a camera known not
// to answer and a camera with as many commands on their way as its worker takes are refused there and then.
// Copies share one state; close() refuses every later request. "GetPresets" reads the presets' names and pictures
// from disk where it arrives.
class CameraRequests {
public:
	// On the director's thread. A preset stored by a request gets its picture from `pictures`, when given.
	explicit CameraRequests(CameraDirector *director, PresetPictures *pictures = nullptr);

	// "GetCameras", "GetPresets", "CallPreset", "StorePreset", "Move", "Zoom", "Focus".
	static const std::vector<std::string> &types();

	// Any thread.
	nlohmann::json handle(const std::string &type, const nlohmann::json &data) const;
	// From now on every request is answered "the controller is not running". On the director's thread.
	void close();
	bool isClosed() const;

private:
	struct Shared;
	struct Command;
	nlohmann::json cameras() const;
	static nlohmann::json presets(int slot);
	nlohmann::json handOver(const std::string &type, const Command &command) const;

	std::shared_ptr<Shared> shared;
};
