// The cameras connected to the machine, as the library lists them, enumerated once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CamListEntry {
    bool bAvailable;
    int32_t bDeviceId1000;
    uint32_t nCameraId;
    uint32_t nDeviceId;
    std::wstring strInfo;
    std::wstring strSerNo;
    bool bStatusFlag4;
};

extern std::vector<CamListEntry>& gCamList;
// Frees the list; when the library is unloaded only.
void FreeCameraList();

// Builds gCamList when it is empty; a failed or empty enumeration is tried again next time.
void EnumerateCameras();
