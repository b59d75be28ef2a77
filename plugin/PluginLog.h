#pragma once

#include <util/base.h>

// Every host-side log line of the module carries one prefix, so an operator finds ours in the OBS log.
#define kavren_log(level, format, ...) blog(level, "[Kavren] " format, ##__VA_ARGS__)
