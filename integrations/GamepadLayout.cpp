#include "integrations/GamepadLayout.h"

#include <SDL.h>

#include <algorithm>

namespace {

QList<int> upTo(int count)
{
	QList<int> numbers;
	for (int number = 0; number < count; ++number)
		numbers << number;
	return numbers;
}

// The standard axes and buttons a mapping ("guid,name,a:b0,+lefty:a1,...,platform:Linux") binds, in SDL's order.
GamepadLayout boundBy(const QByteArray &mapping)
{
	GamepadLayout layout;
	const QList<QByteArray> fields = mapping.split(',');
	for (int index = 2; index < fields.size(); ++index) {
		// A half axis's output ("+leftx") binds the axis all the same.
		QByteArray name = fields.at(index).split(':').first();
		if (name.startsWith('+') || name.startsWith('-'))
			name.remove(0, 1);
		const int axis = SDL_GameControllerGetAxisFromString(name.constData());
		const int button = SDL_GameControllerGetButtonFromString(name.constData());
		if (axis != SDL_CONTROLLER_AXIS_INVALID && !layout.axes.contains(axis))
			layout.axes << axis;
		if (button != SDL_CONTROLLER_BUTTON_INVALID && !layout.buttons.contains(button))
			layout.buttons << button;
	}
	std::sort(layout.axes.begin(), layout.axes.end());
	std::sort(layout.buttons.begin(), layout.buttons.end());
	return layout;
}

} // namespace

GamepadLayout GamepadLayout::controller()
{
	GamepadLayout layout;
	layout.axes = upTo(SDL_CONTROLLER_AXIS_MAX);
	layout.buttons = upTo(SDL_CONTROLLER_BUTTON_MAX);
	return layout;
}

GamepadLayout GamepadLayout::ofDevice(int index)
{
	if (SDL_IsGameController(index)) {
		char *mapping = SDL_GameControllerMappingForDeviceIndex(index);
		const GamepadLayout layout = mapping ? boundBy(QByteArray(mapping)) : controller();
		SDL_free(mapping);
		return layout.axes.isEmpty() && layout.buttons.isEmpty() ? controller() : layout;
	}
	GamepadLayout layout;
	layout.standard = false;
	// Opening a device that is open already only counts one more user of it.
	if (SDL_Joystick *joystick = SDL_JoystickOpen(index)) {
		layout.axes = upTo(SDL_JoystickNumAxes(joystick));
		layout.buttons = upTo(SDL_JoystickNumButtons(joystick));
		layout.hats = SDL_JoystickNumHats(joystick);
		SDL_JoystickClose(joystick);
	}
	return layout;
}

QString GamepadLayout::axisName(int axis)
{
	return QString::fromLatin1(SDL_GameControllerGetStringForAxis(SDL_GameControllerAxis(axis)));
}

QString GamepadLayout::buttonName(int button)
{
	return QString::fromLatin1(SDL_GameControllerGetStringForButton(SDL_GameControllerButton(button)));
}

bool GamepadLayout::isTrigger(int axis)
{
	return axis == SDL_CONTROLLER_AXIS_TRIGGERLEFT || axis == SDL_CONTROLLER_AXIS_TRIGGERRIGHT;
}
