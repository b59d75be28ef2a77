#pragma once

#include <QByteArray>

#include <functional>
#include <optional>

class viscaGeneralOps;
class viscaIpModule;

// Which part of the camera a command drives. Commands of one lane supersede each other while they wait for a
// slow camera (a held button is one move and one stop, not hundreds of moves); commands of different lanes never
// affect each other's place in the queue.
enum class CameraLane {
	None,          // runs as issued, never merged (home, preset memories, one-push white balance)
	PanTilt,       // the pan/tilt drive: eight moves and the stop
	Zoom,          // the variable zoom drive and its stop
	Focus,         // the variable focus drive and its stop
	ZoomPosition,  // direct zoom: only the latest position matters
	FocusPosition, // direct focus
	Setting,       // one stored value of the camera (named by the key): only the latest matters
};

// The lanes in which a command starts a motion that only a stop ends.
inline bool isDriveLane(CameraLane lane)
{
	return lane == CameraLane::PanTilt || lane == CameraLane::Zoom || lane == CameraLane::Focus;
}

// One camera operation as the controller issues it: what it drives, whether it ends a motion, and what it does
// on the camera's link with a value (a speed, a position, a preset number). It runs on the camera's worker thread.
struct CameraCommand {
	QByteArray name; // the link operation, for the log ("setMotorUP")
	CameraLane lane = CameraLane::None;
	bool stop = false;     // ends a motion; a stop is never dropped
	QByteArray settingKey; // Setting lane: which value
	// Changes what the camera shows, or stores the shot: held back for a camera that is live on program.
	bool changesTheShot = false;
	std::function<void(viscaIpModule &link, int value)> run;
};

// The commands of the controls and the hotkeys, in one place.
namespace CameraCommands {

enum class Direction { Up, Down, Left, Right, UpLeft, UpRight, DownLeft, DownRight };

CameraCommand move(Direction direction);
// A move at pan and tilt speeds of its own, for this move only (value: speedsValue()): the same datagram as a move
// after the speeds were set, while the link's stored speeds, which the window's next moves use, stay as they were.
CameraCommand moveAtSpeeds(Direction direction);
// A zoom or focus drive (zoomIn(), zoomOut(), focusNear(), focusFar()) at the speed its value gives, for this drive
// only: the link's stored speed, the window's, is put back after it.
CameraCommand lensAtSpeed(const CameraCommand &drive);
// The value of moveAtSpeeds(): the speeds held to the camera's ranges, as every caller's speeds are; a speed not
// given leaves the link's stored one for this move.
int speedsValue(const viscaGeneralOps &ops, std::optional<int> pan, std::optional<int> tilt);
CameraCommand motorStop();
CameraCommand home();
CameraCommand zoomIn();
CameraCommand zoomOut();
CameraCommand zoomStop();
CameraCommand focusNear();
CameraCommand focusFar();
CameraCommand focusStop();
// value: the lens position
CameraCommand zoomTo();
CameraCommand focusTo();
// The stop of a drive lane (pan/tilt, zoom, focus); an empty command for any other lane.
CameraCommand stopFor(CameraLane lane);
CameraCommand autoFocus(); // value: 1 auto, 0 manual
// value: the preset number; the link's memory number is set first
CameraCommand presetRecall();
CameraCommand presetSave();
// The speeds the link keeps for the next move (nothing goes to the camera for them); value: the speed. Stored
// under the same keys as the settings file's speeds.
enum class Speed { Pan, Tilt, Zoom, Focus };
CameraCommand speed(Speed which);
// value: the code of the preset speed
CameraCommand presetSpeed();
// A stored value of the camera: `operation` runs with the value, and a newer value of the same key replaces one
// that still waits.
CameraCommand setting(const char *name, std::function<void(viscaIpModule &link, int value)> operation);

} // namespace CameraCommands
