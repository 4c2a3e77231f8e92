// Bringing a camera into and out of use.
#pragma once

#include "my_cam.h"

#include <windows.h>

// Chooses a camera by serial number (empty: from the settings, else the first free one),
// opens and configures it, and registers `hwnd` for its events. True when a camera opened.
bool OpenCamera(MyCam& cam, HWND hwnd, const wchar_t* userSerNO);
// The six event messages to `hwnd`, in the order the plug-in enables them; null disables.
void SetCameraEvents(MyCam& cam, HWND hwnd);
// Sensor information, image size and exposure range read anew from the camera.
void RefreshFromCamera(MyCam& cam);
// Stops, frees and releases the camera; nothing for a closed record.
void CloseCamera(MyCam& cam);
