// Handlers whose camera work is not built yet: they answer as with no camera loaded.
#include "handlers.h"

void StartUp(TrvStartParams*) {}
void CloseAllCameras() {}
bool StartFocus() { return true; }
bool StopFocus() { return true; }
void SetExposureCommand(int32_t) {}
void GetTimingCommand(TrvTimingParams*) {}
bool AoiCommand(TrvAoiParams*) { return false; }
void MySetStreamId(intptr_t) {}
bool MyResetConfig(const wchar_t*) { return false; }
void PraxControl(int32_t, double) {}
bool PraxCamRes(TrvPraxCamResParams*) { return false; }
