#pragma once

#include <QList>
#include <QString>

// What a device offers the operator to bind: its axes, buttons and hats, numbered as GamepadMapping stores them. A
// game controller has SDL's standard layout (named axes and buttons, no hat: its d-pad is four buttons) or the part
// of it its mapping binds; a joystick without a mapping has its own numbered ones.
struct GamepadLayout {
	bool standard = true; // SDL's game-controller layout, whose axes and buttons have names
	QList<int> axes;
	QList<int> buttons;
	int hats = 0;

	bool operator==(const GamepadLayout &other) const
	{
		return standard == other.standard && axes == other.axes && buttons == other.buttons &&
		       hats == other.hats;
	}
	bool operator!=(const GamepadLayout &other) const { return !(*this == other); }

	// The whole standard layout: what a game controller may have.
	static GamepadLayout controller();
	// The layout of SDL's device `index`. A joystick is opened for a moment to count what it has; a game
	// controller is not (opening one can light or reset it), its mapping tells.
	static GamepadLayout ofDevice(int index);

	// SDL's names of the standard axes and buttons ("leftx", "righttrigger", "a", "dpup"); empty past them.
	static QString axisName(int axis);
	static QString buttonName(int button);
	// A game controller's trigger reads from 0 at rest to 32767 pulled, not across the whole axis.
	static bool isTrigger(int axis);
};
