#pragma once

#include "integrations/CameraRequests.h"

#include <obs-frontend-api.h>
#include <obs.h>

#include <QObject>

class Controller;

// The camera requests and events offered through obs-websocket as the vendor "kavren-camera-controller", through
// obs-websocket's vendor API (obs-websocket loads after us: register from obs_module_post_load).
// obs-websocket calls a request on its own thread and gets its answer there, without waiting for the UI thread;
// requests are answered "the controller is not running" once OBS exits or this object goes. Requests are unregistered
// at OBS's exit, while obs-websocket is still there, so it never calls into an unloaded module. Events:
// "PresetCalled" {slot, preset, source} and "CameraStatus" {slot, connected, answering}.
class ObsVendor : public QObject {
	Q_OBJECT

public:
	static constexpr const char *kVendorName = "kavren-camera-controller";

	// The requests are the controller's: the controller's shutdown answers them "not running" too.
	explicit ObsVendor(Controller *controller, QObject *parent = nullptr);
	~ObsVendor() override;

	// False, with one info line, when obs-websocket is not loaded or refuses the vendor.
	bool registerWithWebSocket();

private:
	static void onFrontendEvent(enum obs_frontend_event event, void *self);
	static void onRequest(obs_data_t *request, obs_data_t *response, void *route);
	void emitEvent(const char *type, const nlohmann::json &data) const;
	void stop();

	CameraRequests requests;
	void *vendor = nullptr; // obs-websocket's handle of our vendor
	bool followingExit = false;
};
