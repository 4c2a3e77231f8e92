// Reading, setting and resetting the area of interest of a camera.
#pragma once

#include "my_cam.h"

// False, leaving the values alone, when the camera does not answer.
bool GetAoiRect(MyCam& cam, int32_t& x, int32_t& y, int32_t& width, int32_t& height);
// Mode 0 resets to the full frame, any other mode sets the rectangle; on return the values
// hold what the camera applied.
void SetAoiRect(MyCam& cam, int32_t mode, int32_t& x, int32_t& y, int32_t& width, int32_t& height);
