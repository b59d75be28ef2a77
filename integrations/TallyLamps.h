#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class CameraPool;
class SceneSource;

// The cameras' tally lamps follow OBS's program: a slot whose OBS source ("Camera<n>Source") is shown on program
// has its camera's lamp on, and off again when the source leaves program. A lamp is switched once per change and
// only counts as switched when the camera confirmed it; one the camera did not confirm (a lost reply, a camera that
// did not answer) is switched again when the camera answers again, and a camera that comes back is given the lamp
// of the moment. A camera that answers the switch with an error is left alone until it connects again. Renames of
// a slot's source are followed into the settings. Lives on the UI thread.
class TallyLamps : public QObject {
	Q_OBJECT

public:
	// The settings key of the switch that lets the lamps follow the program (on when absent).
	static constexpr const char *kEnabledKey = "TallyEnabled";
	static bool isEnabled();
	// Stores the switch; the lamps follow it when the settings tell of the change.
	static void setEnabled(bool on);

	TallyLamps(SceneSource *scenes, CameraPool *pool, QObject *parent = nullptr);

private:
	// What is known of one slot's lamp.
	struct Lamp {
		QString address;      // the camera it is known for; another address knows nothing
		bool known = false;   // the camera confirmed `lit`
		bool lit = false;     // what it confirmed, or what was sent last
		bool everLit = false; // told to light since it was known: an unknown lamp may be on
		bool pending = false; // a switch is on its way
		bool refused = false; // the camera answered the switch with an error
		int retries = 0;      // switches of `lit` the camera did not confirm
	};

	void update();
	void followRename(const QString &from, const QString &to);
	void onAnswer(int slot, const QString &address, bool on, int result);
	void onBack(int slot);

	QPointer<SceneSource> scenes;
	CameraPool *const pool;
	QHash<int, Lamp> lamps;
	QHash<int, bool> answering; // slot -> whether its camera answered at its last status
};
