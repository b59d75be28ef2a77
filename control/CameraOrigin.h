#pragma once

#include <QString>

// Who asks a camera for something. Every command names its origin when it enters a slot's door; the rules that
// depend on who asks (which work a live camera takes, what is told to listeners, which input owns a lane's stop)
// read it there and nowhere else.
enum class CameraOrigin {
	Window,     // the controller window's controls
	Hotkey,     // OBS's hotkeys
	Gamepad,    // a gamepad's or joystick's sticks, buttons and hat
	Request,    // other programs, through obs-websocket
	Scene,      // presets linked to OBS's scenes
	Tally,      // the tally lamps following OBS's program
	Controller, // the controller itself: stops when the operator leaves a camera, at exit, when a camera goes live
};

// "window", "hotkey", "gamepad", "request", "scene", "tally", "controller": the names events and logs use.
QString originName(CameraOrigin origin);

// The operator's inputs: a camera they move is the camera in use, and leaving it stops what they hold.
inline bool isOperator(CameraOrigin origin)
{
	return origin == CameraOrigin::Window || origin == CameraOrigin::Hotkey || origin == CameraOrigin::Gamepad;
}

// One caller: its origin, which of its inputs (a hotkey's row, a gamepad's button or stick) and whether the operator
// made the deliberate second action that lets the window's controls change a live camera's shot (Shift held).
struct CameraCaller {
	CameraOrigin origin = CameraOrigin::Controller;
	int input = 0;
	bool deliberate = false;

	bool sameInput(const CameraCaller &other) const { return origin == other.origin && input == other.input; }
};
