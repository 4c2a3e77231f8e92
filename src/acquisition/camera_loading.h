// Building gMyCams on the camera thread: the configured cameras or the single one.
#pragma once

#include "camera/my_cam.h"

#include <windows.h>

// Prepares a record and opens its camera; always 1.
int OnInitDialog(MyCam& cam, HWND hwnd, const wchar_t* serNo);
void InitializeExposureDefaults(MyCam& cam);

// One record per CamSN_<n> key that names a camera.
void MyLoadMultiple(HWND hwnd);
// One record for the single camera, with the shared-camera state read first.
void MyLoadSingle(HWND hwnd);
