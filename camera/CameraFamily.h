#pragma once

// A model's link and switches are rows of the camera catalogue.
#include "camera/CameraCatalogue.h"
