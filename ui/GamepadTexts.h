#pragma once

#include "integrations/GamepadInput.h"
#include "integrations/GamepadMapping.h"

#include <QString>

// The gamepad dialog's words for what a device has and what its inputs do.
namespace GamepadTexts {

// A standard layout's axis or button by its readable name ("Left stick X", "D-pad up"), any other by its number.
QString axis(const GamepadLayout &layout, int axis);
QString button(const GamepadLayout &layout, int button);
// An action as the operator knows it; a camera by its slot's caption, as the window shows it.
QString action(const GamepadMapping::ActionBinding &binding);
// A connected device; `ordinal` (1, 2…) tells apart devices of one kind, 0 when it is the only one.
QString device(const GamepadInput::Device &device, int ordinal);
// The chosen device while it is unplugged, by the name it had when it was chosen.
QString absentDevice(const QString &guid, const QString &name);
// The group of actions an action belongs to (motion, cameras, presets, speeds), for the list's separators.
int actionGroup(OperatorAction action);

} // namespace GamepadTexts
