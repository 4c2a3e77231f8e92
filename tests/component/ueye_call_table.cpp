// The camera library's calls as its documentation lists them, written here by hand and not
// taken from ueye_api.h or the .def files: ordinal, name, signature. The compiler checks each
// declaration against its row; check_dll_tables.sh checks the ordinals the plug-in imports and
// the simulator exports against the same rows.
#include "ueye/ueye_api.h"

#include <type_traits>

#define CALL(ordinal, name, ...)                                                                   \
    static_assert(std::is_same_v<decltype(&name), __VA_ARGS__>, #name " [" #ordinal "]");

using S = int32_t;  // status, 0 = success
using H = uint32_t; // camera handle
using U = uint32_t;

// clang-format off
CALL(247, is_CameraCount, S (*)(int32_t*))
CALL(335, is_CameraList, S (*)(void*))
CALL(237, is_CameraInit, S (*)(H*, HWND))
CALL(441, is_InitRetryQuery, S (*)(H, U, int32_t*))
CALL(239, is_CameraExit, S (*)(H))
CALL(213, is_SensorInfo, S (*)(H, UeyeSensorInfo*))
CALL(12, is_DisplayMode, S (*)(H, int32_t))
CALL(17, is_ColorMode, S (*)(H, int32_t))
CALL(36, is_ImageMemAlloc, S (*)(H, int32_t, int32_t, int32_t, char**, int32_t*))
CALL(37, is_ImageMemActivate, S (*)(H, char*, int32_t))
CALL(38, is_ImageMemFree, S (*)(H, char*, int32_t))
CALL(217, is_EventMessage, S (*)(H, int32_t, HWND))
CALL(3, is_StopLiveVideo, S (*)(H, int32_t))
CALL(5, is_CaptureVideo, S (*)(H, int32_t))
CALL(83, is_TriggerMode, S (*)(H, int32_t))
CALL(486, is_AOI, S (*)(H, U, void*, U))
CALL(496, is_Exposure, S (*)(H, U, void*, U))
CALL(231, is_FrameRate, S (*)(H, double, double*))
CALL(271, is_FrameTimeRange, S (*)(H, double*, double*, double*))
CALL(348, is_Binning, S (*)(H, int32_t))
CALL(296, is_Subsampling, S (*)(H, int32_t))
CALL(500, is_CaptureStatus, S (*)(H, U, void*, U))
CALL(504, is_IO, S (*)(H, U, void*, U))
CALL(510, is_ParameterFile, S (*)(H, U, void*, U))
CALL(540, is_CameraMemory, S (*)(H, U, void*, U))
// clang-format on

// The argument values the same table fixes.
#define VALUE(name, value) static_assert(ueye::name == (value), #name);

VALUE(kInitRetry, 184)
VALUE(kColorRgb24, 1)
VALUE(kColorMono8, 6)
VALUE(kQuery, 0x8000)
VALUE(kQuerySupportedTrigger, 0x8004)
VALUE(kQueryFrameRate, 32768.0)
VALUE(kStopWait, 1)
VALUE(kStopForce, 0x4000)
VALUE(kExposureRange, 6)
VALUE(kExposureGet, 7)
VALUE(kExposureSet, 12)
VALUE(kCaptureStatusReset, 1)
VALUE(kCaptureStatusGet, 2)
VALUE(kParameterLoad, 2)
VALUE(kMemoryRead, 4)
VALUE(kMemorySize, 6)
