#include "integrations/IntegrationLog.h"

Q_LOGGING_CATEGORY(lcIntegrations, "kavren.integrations")
Q_LOGGING_CATEGORY(lcGamepad, "kavren.gamepad")
