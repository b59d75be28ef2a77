#pragma once

#include "integrations/HotkeyTable.h"

#include <QObject>

#include <functional>

// Where the controller hears the camera hotkeys from. The host's hotkey system lives in plugin/ (it needs libobs);
// the controller only knows this interface, so it can be built and tested without a host. plugin/ installs a
// factory before the controller is created; without one the controller gets a source that never fires.
class HotkeySource : public QObject {
	Q_OBJECT

public:
	// The hotkey rows, as HotkeyTable lists them.
	static constexpr int kHotkeyCount = HotkeyTable::kCount;

	using Factory = std::function<HotkeySource *(QObject *parent)>;

	explicit HotkeySource(QObject *parent = nullptr);
	~HotkeySource() override;

	static void setFactory(Factory factory);
	// A new source with the given parent, made by the installed factory, or a silent one without a factory.
	static HotkeySource *create(QObject *parent);

signals:
	// One hotkey event: `index` is the hotkey row, `pressed` true for a key press and false for its release.
	// It may be emitted on the host's hotkey thread; receivers get it on their own thread through the
	// automatic connection.
	void hotKeysentTo(int index, bool pressed);
	// A press that no release will follow (a program triggered the hotkey by name): it acts as a tap.
	void hotKeyTapped(int index);
};
