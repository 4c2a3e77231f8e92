// The camera record, one per physical camera, and the list of records.
#pragma once

#include "../ueye/ueye_api.h"

#include <cstdint>
#include <type_traits>
#include <vector>

struct MyExposureRange {
    double dMin;
    double dMax;
    double dInt;
};

// Plain and trivially copyable: records are appended by value and copied bytewise.
struct MyCam {
    int32_t m_nCamId;
    UeyeHandle m_hCam; // 0 = closed; before the init call, the identifier to open
    int32_t m_nColorMode;
    int32_t m_nBitsPerPixel;
    int32_t m_nSizeX;
    int32_t m_nSizeY;
    int32_t m_nTriggerMode;
    bool m_bLive;
    wchar_t* m_pszSerNo; // never released
    int32_t m_lMemoryId;
    char* m_pcImageMemory;
    UeyeSensorInfo m_sInfo;
    int32_t m_nFrameBufferSize;
    unsigned char* m_pcFrameBufferA;
    unsigned char* m_pcFrameBufferB;
    bool m_bFrameBufferToggle;
    uint32_t m_dwLastFrameTick;
    MyExposureRange m_sExposure;
};

static_assert(std::is_trivially_copyable_v<MyCam>);

extern std::vector<MyCam>& gMyCams;
// Frees the records; when the library is unloaded only.
void FreeCameraRecords();

// The current record gMyCams[gCurCamIndex], or null when the index is not below the count.
MyCam* CurrentCam();
