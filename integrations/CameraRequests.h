#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

class CameraPool;

// What other programs (a button panel through obs-websocket) may ask of the cameras, by request type and JSON
// data, answered in JSON. Every answer carries "ok", and "error" with a reason when ok is false. The requests are
// one table: each type names its fields, each field is checked once for its JSON type and its range (a slot or
// preset of 1.0, "1" or true is refused, so a program's mistake never moves a camera), and a checked request enters
// its slot's door at once.
//
// handle() may be called on any thread and never waits for OBS's UI thread, which may be busy: the door takes the
// command on the request's thread, and "ok" means the camera's queue took it (a camera not identified yet takes it
// in the queue of its identification). Copies share one state; close() refuses every later request and waits for
// those on their way. "GetPresets" reads the presets' names and pictures from disk where it arrives.
class CameraRequests {
public:
	explicit CameraRequests(CameraPool *pool);

	// "GetCameras", "GetPresets", "CallPreset", "StorePreset", "Move", "Zoom", "Focus".
	static const std::vector<std::string> &types();

	// Any thread.
	nlohmann::json handle(const std::string &type, const nlohmann::json &data) const;
	// From now on every request is answered "the controller is not running". On the pool's thread.
	void close();
	bool isClosed() const;

private:
	struct Shared;
	static void closeShared(Shared &state);
	std::shared_ptr<Shared> shared;
};
