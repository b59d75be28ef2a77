#include "plugin/ObsVendor.h"

#include "control/CameraDirector.h"
#include "plugin/PluginLog.h"

#include <deque>
#include <string>

namespace {

using json = nlohmann::json;

// The callback record obs-websocket copies when a request is registered.
struct RequestCallback {
	void (*callback)(obs_data_t *request, obs_data_t *response, void *data);
	void *data;
};

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

proc_handler_t *webSocketHandler()
{
	calldata_t data;
	calldata_init(&data);
	proc_handler_t *handler = nullptr;
	if (proc_handler_call(obs_get_proc_handler(), "obs_websocket_api_get_ph", &data))
		handler = static_cast<proc_handler_t *>(calldata_ptr(&data, "ph"));
	calldata_free(&data);
	return handler;
}

// Calls one of obs-websocket's procedures; `fill` sets its parameters. True when it reports success.
template <typename Fill>
bool callWebSocket(proc_handler_t *handler, const char *procedure, Fill fill, void **vendorOut = nullptr)
{
	calldata_t data;
	calldata_init(&data);
	fill(&data);
	const bool ok = proc_handler_call(handler, procedure, &data) && calldata_bool(&data, "success");
	if (ok && vendorOut)
		*vendorOut = calldata_ptr(&data, "vendor");
	calldata_free(&data);
	return ok;
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

ObsVendor::ObsVendor(CameraDirector *director, QObject *parent) : QObject(parent), requests(director)
{
	connect(director, &CameraDirector::presetCalled, this,
		[this](int slot, int preset, CameraDirector::Source source) {
			emitEvent("PresetCalled", {{"slot", slot},
						   {"preset", preset},
						   {"source", CameraDirector::sourceName(source).toStdString()}});
		});
	connect(director, &CameraDirector::cameraStatusChanged, this, [this](int slot, bool connected, bool answering) {
		emitEvent("CameraStatus", {{"slot", slot}, {"connected", connected}, {"answering", answering}});
	});
}

ObsVendor::~ObsVendor()
{
	stop();
}

bool ObsVendor::registerWithWebSocket()
{
	websocket = webSocketHandler();
	if (!websocket) {
		kavren_log(LOG_INFO, "obs-websocket is not loaded; the camera requests are not offered");
		return false;
	}
	const auto setName = [](calldata_t *data) { calldata_set_string(data, "name", kVendorName); };
	if (!callWebSocket(websocket, "vendor_register", setName, &vendor) || !vendor) {
		kavren_log(LOG_INFO,
			   "obs-websocket did not take the vendor \"%s\"; the camera requests are not offered",
			   kVendorName);
		websocket = nullptr;
		return false;
	}
	for (const std::string &type : CameraRequests::types()) {
		routes().push_back(Route{requests, type});
		Route *route = &routes().back();
		RequestCallback callback{&ObsVendor::onRequest, route};
		const bool registered = callWebSocket(websocket, "vendor_request_register", [&](calldata_t *data) {
			calldata_set_ptr(data, "vendor", vendor);
			calldata_set_string(data, "type", type.c_str());
			calldata_set_ptr(data, "callback", &callback);
		});
		if (!registered)
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
	obs_data_apply(response, answerData);
	obs_data_release(answerData);
}

void ObsVendor::emitEvent(const char *type, const json &data) const
{
	if (!vendor || requests.isClosed())
		return;
	obs_data_t *eventData = toObsData(data);
	callWebSocket(websocket, "vendor_event_emit", [&](calldata_t *call) {
		calldata_set_ptr(call, "vendor", vendor);
		calldata_set_string(call, "type", type);
		calldata_set_ptr(call, "data", eventData);
	});
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
		callWebSocket(websocket, "vendor_request_unregister", [&](calldata_t *data) {
			calldata_set_ptr(data, "vendor", vendor);
			calldata_set_string(data, "type", type.c_str());
		});
	vendor = nullptr;
	kavren_log(LOG_INFO, "camera requests withdrawn from obs-websocket");
}
