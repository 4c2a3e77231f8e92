#pragma once

#include "my_cam.h"

// Reads, logs and resets the camera's capture-status counters.
void IsTransferFailed(MyCam& cam, bool verbose);
