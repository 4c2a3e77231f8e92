// Switching the live stream between cameras or configurations, and reloading parameters.
#pragma once

#include "camera/my_cam.h"

#include <cstdint>

void MySetStreamId(intptr_t id);
bool MyResetConfig(const wchar_t* name);
bool MyReloadFile(MyCam& cam);
