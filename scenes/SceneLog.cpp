#include "scenes/SceneLog.h"

Q_LOGGING_CATEGORY(lcScenes, "kavren.scenes")
