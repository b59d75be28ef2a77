#pragma once

// What an operator's key, button or stick asks of the camera in use (or of the choice of camera). Held actions
// (moves, zoom, focus near/far) act on press and stop on release; the others act on press.
enum class OperatorAction {
	TiltUp,
	TiltDown,
	PanLeft,
	PanRight,
	ZoomIn,
	ZoomOut,
	ZoomStop,
	FocusNear,
	FocusFar,
	FocusAuto,
	Home,
	SelectCamera, // argument: the slot
	PreviousCamera,
	NextCamera,
	CallPreset,  // argument: the preset
	StorePreset, // argument: the preset; stored only when held for a moment, as the window asks for a second step
	SpeedUp,
	SpeedDown,
};
