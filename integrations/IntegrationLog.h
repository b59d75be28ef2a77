#pragma once

#include <QLoggingCategory>

// Requests of other programs: each refused request is one info line with its reason.
Q_DECLARE_LOGGING_CATEGORY(lcIntegrations)

// Gamepads: SDL's start, the mappings file, the stored gamepad settings, and devices connected and lost.
Q_DECLARE_LOGGING_CATEGORY(lcGamepad)
