#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class CameraDirector;
class SceneSource;

// The cameras' tally lamps follow OBS's program: a slot whose OBS source ("Camera<n>Source") is shown on program
// has its camera's lamp on, and off again when the source leaves program. A lamp is switched once per change, never
// again while nothing changes; a camera that refuses the switch is left alone until it connects again. Renames of
// a slot's source are followed into the settings. Lives on the UI thread.
class TallyLamps : public QObject {
	Q_OBJECT

public:
	// The settings key of the switch that lets the lamps follow the program (on when absent).
	static constexpr const char *kEnabledKey = "TallyEnabled";
	static bool isEnabled();
	// Stores the switch; the lamps follow it when the settings tell of the change.
	static void setEnabled(bool on);

	TallyLamps(SceneSource *scenes, CameraDirector *director, QObject *parent = nullptr);

private:
	// What is known of one slot's lamp.
	struct Lamp {
		QString address;          // the camera it is known for; another address knows nothing
		std::optional<bool> lit;  // what the camera was last handed; unknown before
		bool undelivered = false; // the last switch was not taken: it is sent again when the camera is back
		bool refused = false;     // the camera answered the switch with an error
	};

	void update();
	void followRename(const QString &from, const QString &to);
	void onRefused(int slot);
	void onReconnected(int slot);

	QPointer<SceneSource> scenes;
	CameraDirector *const director;
	QHash<int, Lamp> lamps;
	QHash<int, bool> answering; // slot -> whether its camera answered at its last status
};
