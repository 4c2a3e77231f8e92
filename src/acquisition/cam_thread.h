// The camera thread and its hidden message window, which receive every camera event.
#pragma once

#include <windows.h>

extern HWND gCamWnd; // the camera window; null until the thread made it

DWORD WINAPI uEueCamThread(LPVOID param);
LRESULT CALLBACK CamWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
