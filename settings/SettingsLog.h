#pragma once

#include <QLoggingCategory>

// The settings file: a file kept aside or not written is a warning, failures to read or write are debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
