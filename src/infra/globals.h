// Process-wide state shared by the commands.
#pragma once

#include "trv_params.h"

#include <windows.h>

#include <cstdint>

constexpr size_t kNameChars = 260; // wide names, terminator included

extern CRITICAL_SECTION gCmdLock;
extern TrvFrameCallback gFrameCallback;
extern TrvErrorCallback gErrorCallback;
extern wchar_t gConfigDir[kNameChars];
extern wchar_t gCamFileName[kNameChars];
extern wchar_t gSection[kNameChars];
extern int32_t gFocusType;
extern uint32_t gCurCamIndex;

// Called once at library attach (and by test programs that link the plug-in code directly).
void InitializeCommandLock();
