#pragma once

#include <QLoggingCategory>

// Cameras as the controller sees them: identification and profiles (a refused or missing profile is a warning),
// and the camera workers' connects, health changes and dropped commands (info) and every job (debug).
Q_DECLARE_LOGGING_CATEGORY(lcCamera)
