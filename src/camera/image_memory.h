// Image memory, colour mode and image size of an open camera.
#pragma once

#include "my_cam.h"

// `label` then x, then " y=", " w=", " h=" with the rest of the rectangle, and a line feed.
void LogAoiRect(const char* label, const int32_t (&rect)[4]);

// Builds image memory and modes for the size in the record: 0, or the failing call's result;
// -1 when the camera is not open.
int32_t InitDisplayMode(MyCam& cam);
// Reads the image size back from the camera and rebuilds the image memory.
void ReallocMemory(MyCam& cam);
// The size readout shared by open, reallocation and reload: the image size from the camera,
// replaced by the sensor's maximum where the full-size queries say so, ...
void ReadSensorImageSize(MyCam& cam);
// ... then divided by the binning and then the subsampling factors.
void DivideByBinning(MyCam& cam);
// Both of the above.
void ReadImageSize(MyCam& cam);
