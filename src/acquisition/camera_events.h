// The camera window's event queue, with the frame events that a newer frame made stale taken
// out of it.
#pragma once

#include <windows.h>

#include <cstdint>

// Takes every frame event of camera `hCam` still queued for the camera window out of the
// queue and counts each as a frame event (gFrameEventCount, gLastFrameCam); the other camera
// events keep their order. Camera thread only. Answers how many were taken.
uint32_t DropQueuedFrames(HWND hwnd, uint32_t hCam);

// The camera thread's GetMessageW: camera events held back by DropQueuedFrames come first, in
// their order, then the window's queue. Answers as GetMessageW does.
BOOL NextCamMessage(HWND hwnd, MSG& msg);
