#include "plugin/CameraHotKey.h"

#include "integrations/HotkeyTable.h"
#include "plugin/PluginLog.h"

#include <QCoreApplication>
#include <QThread>

#include <obs-data.h>
#include <obs-frontend-api.h>
#include <obs.h>
#include <util/bmem.h>
#include <util/config-file.h>

namespace {

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

QString hostProfileBasicIni()
{
	char *profile = obs_frontend_get_current_profile_path();
	if (!profile) {
		kavren_log(LOG_DEBUG, "Failed to get base.ini path");
		return QString();
	}
	const QString path = QString::fromUtf8(profile) + QStringLiteral("/basic.ini");
	bfree(profile);
	return path;
}

} // namespace

CameraHotKey::CameraHotKey(QObject *parent) : CameraHotKey(parent, ProfileLocator(hostProfileBasicIni))
{
	obs_frontend_add_event_callback(&CameraHotKey::frontendEventHandler, this);
	followingProfiles = true;
}

CameraHotKey::CameraHotKey(QObject *parent, ProfileLocator locator)
    : HotkeySource(parent), profileBasicIni(std::move(locator))
{
	registerHotkeys();
	loadProfileBindings();
}

CameraHotKey::CameraHotKey(QObject *parent, const QString &basicIniPath)
    : CameraHotKey(parent, [basicIniPath] { return basicIniPath; })
{
}

CameraHotKey::~CameraHotKey()
{
	stopFollowingProfiles();
	for (auto &id : hotkeyIds) {
		const obs_hotkey_id registered = id.exchange(OBS_INVALID_HOTKEY_ID);
		if (registered != OBS_INVALID_HOTKEY_ID)
			obs_hotkey_unregister(registered);
	}
}

void CameraHotKey::registerHotkeys()
{
	// A key may fire while the rows are being registered: rows not registered yet match no event.
	for (auto &id : hotkeyIds)
		id.store(OBS_INVALID_HOTKEY_ID);
	for (int index = 0; index < kHotkeyCount; ++index) {
		const HotkeyTable::Row &row = HotkeyTable::row(index);
		const QByteArray description = row.description().toUtf8();
		hotkeyIds[size_t(index)].store(obs_hotkey_register_frontend(
			row.name.constData(), description.constData(), &CameraHotKey::hotkeyHandler, this));
	}
}

void CameraHotKey::loadProfileBindings()
{
	const QByteArray path = profileBasicIni().toUtf8();
	config_t *config = nullptr;
	if (!path.isEmpty()) {
		const int result = config_open(&config, path.constData(), CONFIG_OPEN_ALWAYS);
		if (result != CONFIG_SUCCESS) {
			kavren_log(LOG_DEBUG, "Failed to open basic.ini: %d", result);
			config = nullptr;
		}
	}
	// Every row is loaded, so a row the profile does not bind loses the previous profile's keys.
	for (int index = 0; index < kHotkeyCount; ++index)
		loadBindings(config, HotkeyTable::row(index).name.constData(), hotkeyIds[size_t(index)].load());
	config_close(config);
}

void CameraHotKey::stopFollowingProfiles()
{
	if (!followingProfiles)
		return;
	followingProfiles = false;
	obs_frontend_remove_event_callback(&CameraHotKey::frontendEventHandler, this);
}

void CameraHotKey::hotkeyHandler(void *data, obs_hotkey_id id, obs_hotkey_t *hotkey, bool pressed)
{
	Q_UNUSED(hotkey)
	auto *self = static_cast<CameraHotKey *>(data);
	if (!self || id == OBS_INVALID_HOTKEY_ID)
		return;
	for (int index = 0; index < kHotkeyCount; ++index) {
		if (self->hotkeyIds[size_t(index)].load() != id)
			continue;
		// OBS hands its keys' presses and releases to its UI thread. Anything from another thread is a program
		// triggering the hotkey by name: its press acts as a tap, which lets itself go once the camera moved.
		// The release some programs send right after the press is not passed on: it would stop the move before
		// the camera got it.
		if (QThread::currentThread() == QCoreApplication::instance()->thread())
			emit self->hotKeysentTo(index, pressed);
		else if (pressed)
			emit self->hotKeyTapped(index);
		return;
	}
}

void CameraHotKey::frontendEventHandler(enum obs_frontend_event event, void *data)
{
	auto *self = static_cast<CameraHotKey *>(data);
	switch (event) {
	case OBS_FRONTEND_EVENT_PROFILE_CHANGED:
		self->loadProfileBindings();
		break;
	case OBS_FRONTEND_EVENT_EXIT:
		// The last moment the front-end API may be called; OBS removes it right after this event.
		self->stopFollowingProfiles();
		break;
	default:
		break;
	}
}

void CameraHotKey::installAsHotkeySource()
{
	HotkeySource::setFactory([](QObject *parent) -> HotkeySource * { return new CameraHotKey(parent); });
}
