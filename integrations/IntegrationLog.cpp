#include "integrations/IntegrationLog.h"

Q_LOGGING_CATEGORY(lcIntegrations, "kavren.integrations")
