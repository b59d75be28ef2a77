#pragma once

#include "control/CameraJob.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CameraPool;
class CameraWorker;
class viscaGeneralOps;

// Drives the camera of any slot by its number, for what acts outside the window: presets that follow OBS's
// scenes and requests of other programs. A slot whose camera has no link yet is identified once, in the
// background, with the speeds stored for that camera; its link is kept for later commands. Every command goes to
// the slot's one worker, so it takes its place among the window's and the hotkeys' commands for that camera.
// Lives on the UI thread.
class CameraDirector : public QObject {
	Q_OBJECT

public:
	// Who called a preset.
	enum class Source { Window, Hotkey, Scene, Request };
	static QString sourceName(Source source); // "window", "hotkey", "scene", "request"

	struct CameraInfo {
		int slot = 0;
		QString name;    // the slot's caption: its nickname, or the localized slot name
		QString address; // empty when the slot has none
		QString model;   // the identified model, empty before identification
		bool connected = false;
		bool answering = false;
		// On program in Studio Mode (see setLiveSlots()).
		bool live = false;
	};

	// Whether a command was taken (it may wait for the camera's identification), and why not.
	struct Outcome {
		bool ok = true;
		QString error;
		static Outcome refused(const QString &why) { return {false, why}; }
	};

	// `caption` names a slot as the window shows it.
	using Caption = std::function<QString(int slot)>;
	CameraDirector(CameraPool *pool, Caption caption, QObject *parent = nullptr);

	QList<CameraInfo> cameras() const;
	// How many commands a camera's worker keeps waiting.
	int maxWaiting() const;

	// The checks a command passes before anything is sent. They depend on nothing but their arguments, so a
	// caller on another thread can run them before it hands the command over.
	static Outcome checkSlot(int slot);
	static Outcome checkPreset(int preset);
	static Outcome checkMove(const QString &direction); // the directions move() takes
	static Outcome checkZoom(const QString &direction);
	static Outcome checkFocus(const QString &direction);

	Outcome callPreset(int slot, int preset, Source source);
	Outcome storePreset(int slot, int preset, Source source);
	// direction: "up", "down", "left", "right", "up-left", "up-right", "down-left", "down-right", "stop", "home";
	// speeds, when given, are clamped to the camera's ranges and used for this move only.
	Outcome move(int slot, const QString &direction, std::optional<int> panSpeed = std::nullopt,
		     std::optional<int> tiltSpeed = std::nullopt);
	Outcome zoom(int slot, const QString &direction);  // "in", "out", "stop"
	Outcome focus(int slot, const QString &direction); // "near", "far", "stop", "auto", "manual"
	// Switches the camera's tally lamp; a camera that refuses it is told by tallyRefused.
	Outcome tally(int slot, bool on);

	// The slots whose cameras are live on program in Studio Mode; told to cameras() readers through
	// camerasChanged.
	void setLiveSlots(const QSet<int> &slotsLive);

	// The window and the hotkeys call presets themselves; they report it here so that every listener hears
	// of every call.
	void reportPresetCall(int slot, int preset, Source source);

signals:
	void presetCalled(int slot, int preset, CameraDirector::Source source);
	void cameraStatusChanged(int slot, bool connected, bool answering);
	// The slot's camera has a new link (the window or a background identification connected it).
	void cameraLinked(int slot);
	// The slot's camera answered the tally lamp command with an error.
	void tallyRefused(int slot);
	// What cameras() tells may have changed (the slots' names or addresses).
	void camerasChanged();
	// Something the operator should read in the window's status frame.
	void notice(const QString &text);

private:
	// A job made once the camera's capabilities are known (a move clamps its speeds to them).
	using JobFactory = std::function<CameraJob(const viscaGeneralOps &ops)>;

	Outcome dispatch(int slot, const char *what, JobFactory makeJob);
	void identify(int slot, const QString &address);
	void applyStoredSpeeds(CameraWorker *worker);
	void watch(int slot, CameraWorker *worker);
	void reportStatus(int slot);

	CameraPool *const pool;
	const Caption caption;
	QHash<int, QList<JobFactory>> waiting; // slot -> jobs waiting for its camera's identification
	QHash<int, bool> lost;                 // slot -> given up by the watchdog
	QList<CameraWorker *> watched;
	QSet<int> liveSlots;
};

Q_DECLARE_METATYPE(CameraDirector::Source)
