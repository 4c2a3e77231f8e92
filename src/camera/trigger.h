// Focus modes: hardware trigger or strobe output, and back to software trigger.
#pragma once

#include "my_cam.h"

void LogTriggerState(UeyeHandle hCam, const wchar_t* label);
bool MyStrobeEnable(MyCam& cam);
void MyStrobeDisable(MyCam& cam);
