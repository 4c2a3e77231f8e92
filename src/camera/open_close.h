// Bringing a camera into and out of use.
#pragma once

#include "my_cam.h"

#include <windows.h>

// Chooses a camera by serial number (empty: from the settings, else the first free one),
// opens and configures it, and registers `hwnd` for its events. True when a camera opened.
bool OpenCamera(MyCam& cam, HWND hwnd, const wchar_t* userSerNO);
// Stops, frees and releases the camera; nothing for a closed record.
void CloseCamera(MyCam& cam);
