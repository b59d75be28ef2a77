#pragma once

// obs-websocket's vendor API, as obs-websocket-api.h declares it. OBS 30's development package ships that header
// (CMake package obs-websocket-api); OBS 29's does not, so for it the calls the module makes are defined here the
// same way: through the procedure handler obs-websocket publishes, which is its interface in both versions.
#ifdef KAVREN_HAVE_OBS_WEBSOCKET_API
#include <obs-websocket-api.h>
#else
#include <obs.h>

typedef void *obs_websocket_vendor;
typedef void (*obs_websocket_request_callback_function)(obs_data_t *, obs_data_t *, void *);

// obs-websocket's own procedure handler, or nullptr when it is not loaded.
static inline proc_handler_t *obs_websocket_procedures(void)
{
	calldata_t data;
	calldata_init(&data);
	proc_handler_t *handler = nullptr;
	if (proc_handler_call(obs_get_proc_handler(), "obs_websocket_api_get_ph", &data))
		handler = static_cast<proc_handler_t *>(calldata_ptr(&data, "ph"));
	calldata_free(&data);
	return handler;
}

// Runs one of obs-websocket's procedures on `data`; true when it reports success.
static inline bool obs_websocket_run_procedure(const char *procedure, calldata_t *data)
{
	proc_handler_t *handler = obs_websocket_procedures();
	return handler && proc_handler_call(handler, procedure, data) && calldata_bool(data, "success");
}

// 0 when obs-websocket is not loaded.
static inline unsigned int obs_websocket_get_api_version(void)
{
	proc_handler_t *handler = obs_websocket_procedures();
	if (!handler)
		return 0;
	calldata_t data;
	calldata_init(&data);
	// The first version of the API had no procedure to ask.
	const unsigned int version =
		proc_handler_call(handler, "get_api_version", &data) ? unsigned(calldata_int(&data, "version")) : 1;
	calldata_free(&data);
	return version;
}

static inline obs_websocket_vendor obs_websocket_register_vendor(const char *vendor_name)
{
	calldata_t data;
	calldata_init(&data);
	calldata_set_string(&data, "name", vendor_name);
	obs_websocket_vendor vendor =
		obs_websocket_run_procedure("vendor_register", &data) ? calldata_ptr(&data, "vendor") : nullptr;
	calldata_free(&data);
	return vendor;
}

static inline bool obs_websocket_vendor_register_request(obs_websocket_vendor vendor, const char *request_type,
							 obs_websocket_request_callback_function request_callback,
							 void *priv_data)
{
	// obs-websocket copies this record while it registers the request.
	struct {
		obs_websocket_request_callback_function callback;
		void *priv_data;
	} record{request_callback, priv_data};
	calldata_t data;
	calldata_init(&data);
	calldata_set_ptr(&data, "vendor", vendor);
	calldata_set_string(&data, "type", request_type);
	calldata_set_ptr(&data, "callback", &record);
	const bool registered = obs_websocket_run_procedure("vendor_request_register", &data);
	calldata_free(&data);
	return registered;
}

static inline bool obs_websocket_vendor_unregister_request(obs_websocket_vendor vendor, const char *request_type)
{
	calldata_t data;
	calldata_init(&data);
	calldata_set_ptr(&data, "vendor", vendor);
	calldata_set_string(&data, "type", request_type);
	const bool unregistered = obs_websocket_run_procedure("vendor_request_unregister", &data);
	calldata_free(&data);
	return unregistered;
}

static inline bool obs_websocket_vendor_emit_event(obs_websocket_vendor vendor, const char *event_name,
						   obs_data_t *event_data)
{
	calldata_t data;
	calldata_init(&data);
	calldata_set_ptr(&data, "vendor", vendor);
	calldata_set_string(&data, "type", event_name);
	calldata_set_ptr(&data, "data", event_data);
	const bool emitted = obs_websocket_run_procedure("vendor_event_emit", &data);
	calldata_free(&data);
	return emitted;
}
#endif
