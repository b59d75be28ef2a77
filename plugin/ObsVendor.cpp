#include "plugin/ObsVendor.h"

#include "integrations/Controller.h"

#include "control/CameraPool.h"
#include "plugin/ObsWebSocketApi.h"
#include "plugin/PluginLog.h"

#include <deque>
#include <string>

namespace {

using json = nlohmann::json;

// What a registered request needs on obs-websocket's thread. Kept for the module's life: obs-websocket may be
// about to call a request while it is unregistered.
struct Route {
	CameraRequests requests; // shares its state with the vendor's; answers "not running" once closed
	std::string type;
};

// Filled on the UI thread only; a deque keeps the addresses handed to obs-websocket.
std::deque<Route> &routes()
{
	static std::deque<Route> all;
	return all;
}

json parsed(obs_data_t *data)
{
	const char *text = data ? obs_data_get_json(data) : nullptr;
	return text ? json::parse(text, nullptr, false) : json::object();
}

// obs_data takes JSON text; invalid UTF-8 is replaced rather than thrown.
obs_data_t *toObsData(const json &value)
{
	return obs_data_create_from_json(value.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
}

} // namespace

ObsVendor::ObsVendor(Controller *controller, QObject *parent) : QObject(parent), requests(controller->requests())
{
	CameraPool *pool = controller->cameraPool();
	connect(pool, &CameraPool::presetCalled, this, [this](int slot, int preset, CameraOrigin origin) {
		emitEvent("PresetCalled",
			  {{"slot", slot}, {"preset", preset}, {"source", originName(origin).toStdString()}});
	});
	connect(pool, &CameraPool::cameraStatusChanged, this, [this](int slot, bool connected, bool answering) {
		emitEvent("CameraStatus", {{"slot", slot}, {"connected", connected}, {"answering", answering}});
	});
}

ObsVendor::~ObsVendor()
{
	stop();
}

bool ObsVendor::registerWithWebSocket()
{
	if (obs_websocket_get_api_version() == 0) {
		kavren_log(LOG_INFO, "obs-websocket is not loaded; the camera requests are not offered");
		return false;
	}
	vendor = obs_websocket_register_vendor(kVendorName);
	if (!vendor) {
		kavren_log(LOG_INFO,
			   "obs-websocket did not take the vendor \"%s\"; the camera requests are not offered",
			   kVendorName);
		return false;
	}
	for (const std::string &type : CameraRequests::types()) {
		routes().push_back(Route{requests, type});
		if (!obs_websocket_vendor_register_request(vendor, type.c_str(), &ObsVendor::onRequest,
							   &routes().back()))
			kavren_log(LOG_WARNING, "obs-websocket did not take the request %s", type.c_str());
	}
	obs_frontend_add_event_callback(&ObsVendor::onFrontendEvent, this);
	followingExit = true;
	kavren_log(LOG_INFO, "camera requests offered through obs-websocket as \"%s\"", kVendorName);
	return true;
}

void ObsVendor::onFrontendEvent(enum obs_frontend_event event, void *self)
{
	if (event == OBS_FRONTEND_EVENT_EXIT)
		static_cast<ObsVendor *>(self)->stop();
}

void ObsVendor::onRequest(obs_data_t *request, obs_data_t *response, void *data)
{
	// Answered here, on obs-websocket's thread, without waiting for OBS's UI thread.
	const Route *route = static_cast<const Route *>(data);
	const json answer = route->requests.handle(route->type, parsed(request));
	obs_data_t *answerData = toObsData(answer);
	// libobs refuses JSON with a NUL in a text and hands back nothing, which obs-websocket would send as an
	// answer without "ok". Answers are made without control characters; should one slip through, the program
	// still learns that its request failed.
	if (!answerData)
		answerData = toObsData({{"ok", false}, {"error", "the answer could not be handed to obs-websocket"}});
	obs_data_apply(response, answerData);
	obs_data_release(answerData);
}

void ObsVendor::emitEvent(const char *type, const json &data) const
{
	if (!vendor || requests.isClosed())
		return;
	obs_data_t *eventData = toObsData(data);
	obs_websocket_vendor_emit_event(vendor, type, eventData);
	obs_data_release(eventData);
}

void ObsVendor::stop()
{
	if (requests.isClosed() && !vendor)
		return;
	// From here every request is answered "not running"; nothing more is handed to the UI thread.
	requests.close();
	if (followingExit) {
		obs_frontend_remove_event_callback(&ObsVendor::onFrontendEvent, this);
		followingExit = false;
	}
	if (!vendor)
		return;
	for (const std::string &type : CameraRequests::types())
		obs_websocket_vendor_unregister_request(vendor, type.c_str());
	vendor = nullptr;
	kavren_log(LOG_INFO, "camera requests withdrawn from obs-websocket");
}
