#pragma once

#include "my_cam.h"

void GetBinningSizes(MyCam& cam, int32_t& hx, int32_t& vx);
void GetSubSamplingSizes(MyCam& cam, int32_t& hx, int32_t& vx);
