#include "plugin/CameraHotKey.h"

#include "plugin/PluginLog.h"
#include "ui/ModuleText.h"

#include <obs-data.h>
#include <obs-frontend-api.h>
#include <obs.h>
#include <util/bmem.h>
#include <util/config-file.h>

#include <cstdio>

namespace {

struct HotkeyRow {
	const char *name;
	const char *descriptionKey;
};

// Row order is the signal's index; the names are the keys of the bindings saved in the host's profile, so they
// must never change. The descriptions come from the locale table, so that OBS's hotkey list shows them translated
// and under the product's name.
constexpr HotkeyRow kRows[HotkeySource::kHotkeyCount] = {
	{"TiltUpHotKey", "HotkeyTiltUp"},       {"TiltDownHotKey", "HotkeyTiltDown"},
	{"PanLeftHotKey", "HotkeyPanLeft"},     {"PanRightHotKey", "HotkeyPanRight"},
	{"ZoomInHotKey", "HotkeyZoomIn"},       {"ZoomOutHotKey", "HotkeyZoomOut"},
	{"Preset1HotKey", "HotkeyCallPreset1"}, {"Preset2HotKey", "HotkeyCallPreset2"},
	{"Preset3HotKey", "HotkeyCallPreset3"}, {"Preset4HotKey", "HotkeyCallPreset4"},
	{"Preset5HotKey", "HotkeyCallPreset5"}, {"Preset6HotKey", "HotkeyCallPreset6"},
	{"Preset7HotKey", "HotkeyCallPreset7"}, {"Preset8HotKey", "HotkeyCallPreset8"},
	{"Preset9HotKey", "HotkeyCallPreset9"},
};

constexpr size_t kPathSize = 512;

// Restores one hotkey's bindings from the profile; anything unusable leaves it without bindings.
void loadBindings(config_t *config, const char *name, obs_hotkey_id id)
{
	const char *text = config ? config_get_string(config, "Hotkeys", name) : nullptr;
	obs_data_t *data = text ? obs_data_create_from_json(text) : nullptr;
	obs_data_array_t *bindings = data ? obs_data_get_array(data, "bindings") : nullptr;
	obs_hotkey_load(id, bindings);
	obs_data_array_release(bindings);
	obs_data_release(data);
}

} // namespace

CameraHotKey::CameraHotKey(QObject *parent) : HotkeySource(parent)
{
	char path[kPathSize] = {};
	if (currentProfileBasicIni(path, sizeof(path)) <= 0) {
		kavren_log(LOG_DEBUG, "Failed to get base.ini path");
		registerHotkeys(nullptr);
		return;
	}
	registerHotkeys(path);
}

CameraHotKey::CameraHotKey(QObject *parent, const QString &basicIniPath) : HotkeySource(parent)
{
	const QByteArray path = basicIniPath.toUtf8();
	registerHotkeys(path.isEmpty() ? nullptr : path.constData());
}

CameraHotKey::~CameraHotKey()
{
	for (auto &id : hotkeyIds) {
		const obs_hotkey_id registered = id.exchange(OBS_INVALID_HOTKEY_ID);
		if (registered != OBS_INVALID_HOTKEY_ID)
			obs_hotkey_unregister(registered);
	}
}

int CameraHotKey::currentProfileBasicIni(char *buffer, size_t size)
{
	char *profile = obs_frontend_get_current_profile_path();
	if (!profile)
		return 0;
	const int length = std::snprintf(buffer, size, "%s/basic.ini", profile);
	bfree(profile);
	// A path that did not fit would name another file.
	return length > 0 && size_t(length) < size ? length : 0;
}

void CameraHotKey::registerHotkeys(const char *basicIniPath)
{
	for (auto &id : hotkeyIds)
		id.store(OBS_INVALID_HOTKEY_ID);

	config_t *config = nullptr;
	if (basicIniPath) {
		const int result = config_open(&config, basicIniPath, CONFIG_OPEN_ALWAYS);
		if (result != CONFIG_SUCCESS) {
			kavren_log(LOG_DEBUG, "Failed to open basic.ini: %d", result);
			config = nullptr;
		}
	}

	for (int index = 0; index < kHotkeyCount; ++index) {
		const QByteArray description = ModuleText::text(kRows[index].descriptionKey).toUtf8();
		const obs_hotkey_id id = obs_hotkey_register_frontend(kRows[index].name, description.constData(),
								      &CameraHotKey::hotkeyHandler, this);
		hotkeyIds[size_t(index)].store(id);
		loadBindings(config, kRows[index].name, id);
	}

	config_close(config);
}

void CameraHotKey::hotkeyHandler(void *data, obs_hotkey_id id, obs_hotkey_t *hotkey, bool pressed)
{
	Q_UNUSED(hotkey)
	auto *self = static_cast<CameraHotKey *>(data);
	if (!self || id == OBS_INVALID_HOTKEY_ID)
		return;
	for (int index = 0; index < kHotkeyCount; ++index) {
		if (self->hotkeyIds[size_t(index)].load() == id) {
			emit self->hotKeysentTo(index, pressed);
			return;
		}
	}
}

void CameraHotKey::installAsHotkeySource()
{
	HotkeySource::setFactory([](QObject *parent) -> HotkeySource * { return new CameraHotKey(parent); });
}
