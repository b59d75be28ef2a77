#pragma once

#include <QLoggingCategory>

// What the camera workers report: connects, health changes, dropped commands (info), every job (debug).
Q_DECLARE_LOGGING_CATEGORY(lcCamera)
