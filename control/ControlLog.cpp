#include "control/ControlLog.h"

Q_LOGGING_CATEGORY(lcCamera, "kavren.camera")
