#pragma once

#include "ui/HotkeySource.h"

#include <obs.h>

#include <QString>

#include <array>
#include <atomic>

// The fifteen camera hotkeys, registered with the host's hotkey system so the operator binds keys to them in
// the host's own settings. Bindings saved in the current profile's "basic.ini" are restored at construction;
// every host hotkey event becomes hotKeysentTo(row, pressed).
class CameraHotKey : public HotkeySource {
	Q_OBJECT

public:
	// Registers the hotkeys and restores their bindings from the current profile of the running host.
	explicit CameraHotKey(QObject *parent = nullptr);
	// Same, with the bindings read from the given "basic.ini"; an empty path restores none.
	CameraHotKey(QObject *parent, const QString &basicIniPath);
	// Unregisters the hotkeys, in row order.
	~CameraHotKey() override;

	// The host's callback for every registration, with this object as `data`. It may run on the host's hotkey
	// thread: it only emits the signal, which the automatic connection queues to the receiver's thread.
	static void hotkeyHandler(void *data, obs_hotkey_id id, obs_hotkey_t *hotkey, bool pressed);

	// Makes every controller window created from now on get its hotkeys from a CameraHotKey.
	static void installAsHotkeySource();

private:
	// The path of "basic.ini" of the host's current profile written to `buffer`; its length, or 0 or less.
	static int currentProfileBasicIni(char *buffer, size_t size);
	void registerHotkeys(const char *basicIniPath);

	// Written on the UI thread while registering, read by the callback on the host's thread.
	std::array<std::atomic<obs_hotkey_id>, kHotkeyCount> hotkeyIds;
};
