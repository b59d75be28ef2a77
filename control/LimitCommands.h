#pragma once

#include "control/CameraCommand.h"

#include <QList>

class viscaGeneralOps;

namespace CameraCommands {

enum class LimitSide { TiltUp, PanLeft, TiltDown, PanRight };

// One side's pan/tilt limit, converted with the model's range for that side; value: the angle step.
CameraCommand panTiltLimit(LimitSide side, const viscaGeneralOps &ops);
// Both limit corners cleared, each a command of its own, in the order the camera is told.
QList<CameraCommand> clearPanTiltLimits();
// value: 1 on, 0 off
CameraCommand speedCompensation();

} // namespace CameraCommands
