// What the camera thread does with a camera event of the current record.
#pragma once

#include "camera/my_cam.h"

#include <windows.h>

#include <cstdint>

extern uint32_t gLastFrameCam;         // handle of the latest frame event, all bits set before
extern volatile LONG gFrameEventCount; // frame events since the last stream start
extern HANDLE gStreamMutex;            // "UEYECAM": guards the live flags and gCurCamIndex

LRESULT OnUEyeMessage(MyCam& cam, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Fills the next frame buffer from the image memory. Null when there is nothing to convert;
// `failed` is set when the buffers could not be allocated and the frame must not be delivered.
unsigned char* MyGetFrameBuffer(MyCam& cam, uint32_t hCam, bool& failed);

// Whether the record with this handle exists and is live.
bool MyIsStreamLive(uint32_t hCam);

// The stream mutex, opened on first use; null when it cannot be opened.
HANDLE StreamMutex();
// Closes it; when the library is unloaded only.
void CloseStreamMutex();
