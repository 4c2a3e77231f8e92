#include "globals.h"

CRITICAL_SECTION gCmdLock;
TrvFrameCallback gFrameCallback = nullptr;
TrvErrorCallback gErrorCallback = nullptr;
wchar_t gConfigDir[kNameChars] = L"";
wchar_t gCamFileName[kNameChars] = L"ueyecam.ini";
wchar_t gSection[kNameChars] = L"video";
int32_t gFocusType = 3;
uint32_t gCurCamIndex = 0;

void InitializeCommandLock() {
    InitializeCriticalSection(&gCmdLock);
}
