#pragma once

#include <QLoggingCategory>

// Requests of other programs: each refused request is one info line with its reason.
Q_DECLARE_LOGGING_CATEGORY(lcIntegrations)
