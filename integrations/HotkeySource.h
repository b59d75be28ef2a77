#pragma once

#include <QObject>

#include <functional>

// Where the controller window hears the camera hotkeys from. The host's hotkey system lives in plugin/ (it needs
// libobs); the window only knows this interface, so it can be built and tested without a host. plugin/ installs
// a factory before the window is created; without one the window gets a source that never fires.
class HotkeySource : public QObject {
	Q_OBJECT

public:
	// The fifteen hotkey rows: 0..3 tilt up, tilt down, pan left, pan right; 4, 5 zoom in, zoom out; 6..14 call
	// presets 1..9.
	static constexpr int kHotkeyCount = 15;

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
};
