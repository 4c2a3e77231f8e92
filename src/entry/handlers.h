// Command handlers the dispatcher calls, each on the current camera record.
#pragma once

#include "infra/trv_params.h"
#include "lensdata/prax.h"

#include <cstdint>

// Lifecycle.
void StartUp(TrvStartParams* block);
void CloseAllCameras();

// Focus.
bool StartFocus();
bool StopFocus();
bool GetFocusType(int32_t* value);
// Releases and closes the handles kept after timed-out waits; when the library is unloaded only.
void ReleaseKeptFocusLocks();

// Camera properties.
void SetExposureCommand(int32_t percent);
void GetTimingCommand(TrvTimingParams* block);
bool AoiCommand(TrvAoiParams* block);

// Streams.
void MySetStreamId(intptr_t id);
bool MyResetConfig(const wchar_t* name);
