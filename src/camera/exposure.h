// Exposure range per camera, the host's exposure percentage, the timing query, and the
// process-wide timing state carried across an area-of-interest change.
#pragma once

#include "my_cam.h"

void GetExposure(MyCam& cam, MyExposureRange& range);
void SetExposure(int32_t percent);
// Frame rate and exposure of the current camera; false, writing nothing, without one.
bool GetTiming(double& frameRate, double& exposure);
void GetTimeStats(UeyeHandle hCam);
void SetTimeStats(UeyeHandle hCam, bool useCap);
