#pragma once

#include "integrations/HotkeySource.h"

#include <obs-frontend-api.h>
#include <obs.h>

#include <QString>

#include <array>
#include <atomic>
#include <functional>

// The camera hotkeys, registered with the host's hotkey system so the operator binds keys to them in
// the host's own settings. OBS saves the bindings of every front-end hotkey in the current profile's "basic.ini"
// but loads only its own hotkeys' back, at start and on each profile switch; ours are restored here, at
// construction and whenever the operator switches profile. Every host hotkey event becomes hotKeysentTo(row,
// pressed).
class CameraHotKey : public HotkeySource {
	Q_OBJECT

public:
	// The path of the "basic.ini" of the profile in use; empty when there is none.
	using ProfileLocator = std::function<QString()>;

	// Registers the hotkeys with the bindings of the running host's current profile, and follows its profile
	// switches.
	explicit CameraHotKey(QObject *parent = nullptr);
	// Same, with the profile's "basic.ini" named by `locator`, and without following the host (tests hand
	// frontendEventHandler the events); an empty path restores none.
	CameraHotKey(QObject *parent, ProfileLocator locator);
	CameraHotKey(QObject *parent, const QString &basicIniPath);
	// Unregisters the hotkeys, in row order.
	~CameraHotKey() override;

	// The host's callback for every registration, with this object as `data`. It may run on another thread: it only
	// emits the signal, which the automatic connection queues to the receiver's thread.
	static void hotkeyHandler(void *data, obs_hotkey_id id, obs_hotkey_t *hotkey, bool pressed);
	// The host's front-end events, on the UI thread, with this object as `data`: a profile switch loads the new
	// profile's bindings.
	static void frontendEventHandler(enum obs_frontend_event event, void *data);

	// Makes every controller created from now on get its hotkeys from a CameraHotKey.
	static void installAsHotkeySource();

private:
	void registerHotkeys();
	void loadProfileBindings();
	void stopFollowingProfiles();

	const ProfileLocator profileBasicIni;
	bool followingProfiles = false;
	// Written on the UI thread while registering, read by the callback on the host's thread.
	std::array<std::atomic<obs_hotkey_id>, kHotkeyCount> hotkeyIds;
};
