#pragma once

#include <QLoggingCategory>

// The camera search and the assignment of cameras to slots.
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
