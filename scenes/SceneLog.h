#pragma once

#include <QLoggingCategory>

// What the scene-linked presets report: recalls they start (info) and content of the settings they cannot use
// (warning).
Q_DECLARE_LOGGING_CATEGORY(lcScenes)
