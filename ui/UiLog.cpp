#include "ui/UiLog.h"

Q_LOGGING_CATEGORY(lcUi, "kavren.ui")
