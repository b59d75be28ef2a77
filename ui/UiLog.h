#pragma once

#include <QLoggingCategory>

// What the window and its widgets report: connects, disconnects, preset calls and stores and failures (info and
// warning), refused steps and settings trouble (debug).
Q_DECLARE_LOGGING_CATEGORY(lcUi)
