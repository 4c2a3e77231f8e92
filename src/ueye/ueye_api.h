// The calls the plug-in makes into the camera library uEye_api_64.dll.
// Imported by ordinal only (see uEye_api_64.def); every call returns a 32-bit status,
// 0 meaning success, unless its comment says otherwise.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#ifdef TRV_UEYE_SIM_BUILD
// The simulator defines the calls, and its .def exports them (dllexport too would name each
// export twice).
#define UEYE_API extern "C"
#define UEYE_CALL(name, params) UEYE_API UeyeStatus name params
#else
// The plug-in imports each call as ueye_raw::name and calls it through `name`, a function of
// the same signature that records the call while a recording runs (record/ueye_calls.cpp).
#define UEYE_CALL(name, params)                                                                    \
    namespace ueye_raw {                                                                           \
    extern "C" __declspec(dllimport) UeyeStatus name params;                                       \
    }                                                                                              \
    UeyeStatus name params
#endif

typedef uint32_t UeyeHandle; // camera handle, 0 = closed
typedef int32_t UeyeStatus;

// Window message the library posts for a camera event: wParam event code, lParam handle.
#define IS_UEYE_MESSAGE 0x0500
#define IS_TRANSFER_FAILED 3
#define IS_GENERIC_ERROR 7

#define IS_SET_TRIGGER_HI_LO 0x1001
#define IS_SET_TRIGGER_LO_HI 0x1002
#define IS_SET_TRIGGER_SOFTWARE 0x1008
#define IS_SET_TRIGGER_PRE_HI_LO 0x1040
#define IS_SET_TRIGGER_PRE_LO_HI 0x1080

namespace ueye {

constexpr int32_t kInitRetry = 184;          // init result that asks for one retry
constexpr uint32_t kOpenByDeviceId = 0x8000; // or-ed into the id: open by device id
constexpr uint32_t kOpenRetryFlag = 0x10000; // or-ed into the id on the retry
constexpr int32_t kQuery = 0x8000;           // live, trigger, binning, subsampling query
constexpr int32_t kQuerySupportedTrigger = 0x8004;
constexpr double kQueryFrameRate = 32768.0; // frame-rate value that only queries
constexpr int32_t kStopWait = 1;
constexpr int32_t kStopForce = 0x4000;

constexpr int32_t kColorRgb24 = 1;
constexpr int32_t kColorMono8 = 6;

// Camera event codes the plug-in enables, in the order it enables them.
constexpr int32_t kEventFrame = 0;
constexpr int32_t kEventCodes[6] = {4096, 4, 0, 2, 3, 7};

// is_AOI commands.
constexpr uint32_t kAoiSetRect = 1;
constexpr uint32_t kAoiGetRect = 2;
constexpr uint32_t kAoiSetSize = 5;
constexpr uint32_t kAoiGetSize = 6;
constexpr uint32_t kAoiGetPosMin = 7;
constexpr uint32_t kAoiGetSizeMin = 8;
constexpr uint32_t kAoiGetSizeMax = 16;
constexpr uint32_t kAoiGetPosStep = 17;
constexpr uint32_t kAoiGetSizeStep = 18;
constexpr uint32_t kAoiFullWidth = 19;
constexpr uint32_t kAoiFullHeight = 20;

// is_Exposure commands.
constexpr uint32_t kExposureRange = 6;
constexpr uint32_t kExposureGet = 7;
constexpr uint32_t kExposureSet = 12;

// is_CaptureStatus commands.
constexpr uint32_t kCaptureStatusReset = 1;
constexpr uint32_t kCaptureStatusGet = 2;

// is_IO commands.
constexpr uint32_t kIoStrobe = 20;
constexpr uint32_t kIoOutputMin = 22;
constexpr uint32_t kIoOutputMax = 23;
constexpr uint32_t kIoOutputLevel = 26;
constexpr uint32_t kIoOutputApply = 28;
constexpr uint32_t kIoOutputConfig = 30;

// is_ParameterFile and is_CameraMemory commands.
constexpr uint32_t kParameterLoad = 2;
constexpr uint32_t kMemoryRead = 4;
constexpr uint32_t kMemorySize = 6;

} // namespace ueye

#pragma pack(push, 1)
// Sensor information as the library fills it; the plug-in reads three fields. The block's
// length beyond them is the library's own, so the record reserves 1 KiB for it: a library
// that writes a longer block than we know of must not reach the fields that follow.
struct UeyeSensorInfo {
    uint8_t head[34];
    uint8_t nColorKind; // 2 or 4: colour sensor; anything else monochrome
    uint8_t pad;
    uint32_t nMaxWidth;
    uint32_t nMaxHeight;
    uint8_t tail[1024 - 44];
};

// One entry of the camera list.
struct UeyeCameraEntry {
    uint32_t nCameraId;
    uint32_t nDeviceId;
    uint32_t nSensorId;
    uint32_t nInUse;
    char szSerNo[16]; // not always terminated
    char szInfo[16];  // not always terminated
    uint32_t nStatus;
    uint8_t tail[60];
};

// Counters of the capture status; the counter of code c is anCount[c].
struct UeyeCaptureStatus {
    uint32_t nTotal;
    uint8_t unused[60];
    uint32_t anCount[256];
};

// Request of a camera-memory read.
struct UeyeMemoryRead {
    uint32_t nOffset;
    uint32_t nCount;
    uint8_t zero[8];
    uint64_t nBufferAddress;
};
#pragma pack(pop)

static_assert(offsetof(UeyeSensorInfo, nColorKind) == 34, "colour kind at 34");
static_assert(offsetof(UeyeSensorInfo, nMaxWidth) == 36, "max width at 36");
static_assert(offsetof(UeyeSensorInfo, nMaxHeight) == 40, "max height at 40");
static_assert(sizeof(UeyeSensorInfo) == 1024, "1 KiB reserved for the sensor information");
static_assert(sizeof(UeyeCameraEntry) == 112, "list entry is 112 bytes");
static_assert(offsetof(UeyeCameraEntry, nInUse) == 12, "in-use flag at 12");
static_assert(offsetof(UeyeCameraEntry, szSerNo) == 16, "serial number at 16");
static_assert(offsetof(UeyeCameraEntry, szInfo) == 32, "info text at 32");
static_assert(offsetof(UeyeCameraEntry, nStatus) == 48, "status flags at 48");
static_assert(sizeof(UeyeCaptureStatus) == 1088, "1088 bytes");
static_assert(offsetof(UeyeCaptureStatus, anCount) == 64, "counters at 64");
static_assert(sizeof(UeyeMemoryRead) == 24, "read request is 24 bytes");

// Ordinal in brackets.
// clang-format off
UEYE_CALL(is_CameraCount, (int32_t* pnNumCams));                                      // [247]
UEYE_CALL(is_CameraList, (void* pucl));                                // [335] u32 count, entries
UEYE_CALL(is_CameraInit, (UeyeHandle* phCam, HWND hWnd));                             // [237]
UEYE_CALL(is_InitRetryQuery, (UeyeHandle hCam, uint32_t nCommand, int32_t* pnValue)); // [441]
UEYE_CALL(is_CameraExit, (UeyeHandle hCam));                                          // [239]
UEYE_CALL(is_SensorInfo, (UeyeHandle hCam, UeyeSensorInfo* pInfo));                   // [213]
UEYE_CALL(is_DisplayMode, (UeyeHandle hCam, int32_t nMode));                          // [12]
UEYE_CALL(is_ColorMode, (UeyeHandle hCam, int32_t nMode));                            // [17]
UEYE_CALL(is_ImageMemAlloc, (UeyeHandle hCam, int32_t nWidth, int32_t nHeight, int32_t nBits,
                             char** ppcMem, int32_t* pnMemId));                       // [36]
UEYE_CALL(is_ImageMemActivate, (UeyeHandle hCam, char* pcMem, int32_t nMemId));       // [37]
UEYE_CALL(is_ImageMemFree, (UeyeHandle hCam, char* pcMem, int32_t nMemId));           // [38]
UEYE_CALL(is_EventMessage, (UeyeHandle hCam, int32_t nEvent, HWND hWnd));             // [217]
UEYE_CALL(is_StopLiveVideo, (UeyeHandle hCam, int32_t nWait));                        // [3]
UEYE_CALL(is_CaptureVideo, (UeyeHandle hCam, int32_t nWait));   // [5] 0x8000 answers the live state
UEYE_CALL(is_TriggerMode, (UeyeHandle hCam, int32_t nMode));    // [83] queries answer mode bits
UEYE_CALL(is_AOI, (UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize));      // [486]
UEYE_CALL(is_Exposure, (UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize)); // [496]
UEYE_CALL(is_FrameRate, (UeyeHandle hCam, double dFps, double* pdNewFps));                  // [231]
UEYE_CALL(is_FrameTimeRange, (UeyeHandle hCam, double* pdMin, double* pdMax,
                              double* pdIntervall));                                        // [271]
UEYE_CALL(is_Binning, (UeyeHandle hCam, int32_t nMode));     // [348] 0x8000 answers factor bits
UEYE_CALL(is_Subsampling, (UeyeHandle hCam, int32_t nMode)); // [296] 0x8000 answers factor bits
UEYE_CALL(is_CaptureStatus, (UeyeHandle hCam, uint32_t nCommand, void* pParam,
                             uint32_t nSize));                                              // [500]
UEYE_CALL(is_IO, (UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize));       // [504]
UEYE_CALL(is_ParameterFile, (UeyeHandle hCam, uint32_t nCommand, void* pParam,
                             uint32_t nSize));                                              // [510]
UEYE_CALL(is_CameraMemory, (UeyeHandle hCam, uint32_t nCommand, void* pParam,
                            uint32_t nSize));                                               // [540]
// clang-format on
