#pragma once

#include <QLoggingCategory>

// What the camera link reports: every exchange, late or unmatched replies, clamped arguments (debug).
Q_DECLARE_LOGGING_CATEGORY(lcLink)
