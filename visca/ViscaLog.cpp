#include "visca/ViscaLog.h"

Q_LOGGING_CATEGORY(lcLink, "kavren.link")
