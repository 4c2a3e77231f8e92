// The camera thread and its hidden message window, which receive every camera event.
#pragma once

#include <windows.h>

extern HWND gCamWnd; // the camera window; null until the thread made it

// Non-zero from the moment a start creates the camera thread until its message loop ends.
extern volatile LONG gCamThreadRunning;
// The start number the camera thread was given, stored by it just before it sets the ready
// event: a start takes the event as its own signal only when this holds its number.
extern volatile LONG gCamThreadReady;

// `param` carries the start number (a LONG) that the thread reports in gCamThreadReady.
DWORD WINAPI uEueCamThread(LPVOID param);
LRESULT CALLBACK CamWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
