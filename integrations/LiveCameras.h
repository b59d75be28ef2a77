#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>

class SceneSource;

// Which slots' cameras are live: in Studio Mode, those whose OBS source ("Camera<n>Source") is shown on program.
// A live camera is not moved, zoomed, refocused, recalled or stored over by accident: the window asks for a
// deliberate second action, and keys, buttons and other programs are held back too unless the settings key
// "LiveCameraProtection" is false. Without Studio Mode no camera is live. Follows OBS's events only. Lives on the
// UI thread.
class LiveCameras : public QObject {
	Q_OBJECT

public:
	static constexpr const char *kProtectionKey = "LiveCameraProtection";

	LiveCameras(SceneSource *scenes, QObject *parent = nullptr);

	bool isLive(int slot) const { return live.contains(slot); }
	QSet<int> liveSlots() const { return live; }
	// Whether keys, buttons and other programs are held back from live cameras too (the window always is).
	static bool protectsEveryone();

signals:
	void changed(const QSet<int> &live);

private:
	void update();

	QPointer<SceneSource> scenes;
	QSet<int> live;
};
