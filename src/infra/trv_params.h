// The host interface: command codes, parameter blocks and callbacks of TrvCmd.
// Shared with the host; every offset is fixed and checked below.
#pragma once

#include <cstddef>
#include <cstdint>

typedef void (*TrvFrameCallback)(unsigned char* pixels, int32_t width, int32_t height, int32_t size,
                                 intptr_t reserved, int32_t reserved2);
typedef void (*TrvErrorCallback)();

enum TrvCmdCode : int32_t {
    _TRV_DSHOW_CMD_LOAD = 1,
    _TRV_DSHOW_CMD_UNLOAD = 2,
    _TRV_DSHOW_CMD_OPEN = 3,
    _TRV_DSHOW_CMD_CLOSE = 4,
    _TRV_DSHOW_CMD_START = 5,
    _TRV_DSHOW_CMD_STOP = 6,
    _TRV_DSHOW_CMD_START_FOCUS = 8,
    _TRV_DSHOW_CMD_STOP_FOCUS = 10,
    _TRV_DSHOW_CMD_NOP_11 = 11,
    _TRV_DSHOW_CMD_NOP_12 = 12,
    _TRV_DSHOW_CMD_SET_EXPOSURE = 15,
    _TRV_DSHOW_CMD_SET_STREAM_ID = 32,
    _TRV_DSHOW_CMD_GET_FOCUS_TYPE = 34,
    _TRV_DSHOW_CMD_RESET_CONFIG = 42,
    _TRV_DSHOW_CMD_PRAX_CONTROL = 43,
    _TRV_DSHOW_CMD_PRAX_CAM_RES = 44,
    _TRV_DSHOW_CMD_AOI = 45,
    _TRV_DSHOW_CMD_GET_TIMING = 46,
    _TRV_DSHOW_CMD_SET_FRAME_CALLBACK = 47,
};

#pragma pack(push, 1)
struct TrvStartParams {
    int32_t nSizeX;                 // out
    int32_t nSizeY;                 // out
    TrvFrameCallback frameCallback; // in
    uint8_t unused16[8];
    TrvErrorCallback errorCallback; // in
    const wchar_t* pszConfigDir;    // in, prefix of the host's files
    uint8_t unused40[9];
    int32_t nFocusType;            // in: 1, 2 or 3 (free run)
    const wchar_t* pszCamFileName; // in, may be null
    const wchar_t* pszSection;     // in, may be null
};

struct TrvAoiParams {
    int32_t nMode; // 2 reads, anything else sets (0 resets)
    int32_t x;
    int32_t y;
    int32_t unused12;
    int32_t width;
    int32_t height;
};

struct TrvTimingParams {
    double dFrameRate;
    double dExposure;
};

struct TrvPraxControlParams {
    int32_t nType;
    double dPercent;
};

struct TrvPraxCamResParams {
    double dResX;
    double dResY;
};
#pragma pack(pop)

static_assert(offsetof(TrvStartParams, nSizeY) == 4);
static_assert(offsetof(TrvStartParams, frameCallback) == 8);
static_assert(offsetof(TrvStartParams, errorCallback) == 24);
static_assert(offsetof(TrvStartParams, pszConfigDir) == 32);
static_assert(offsetof(TrvStartParams, nFocusType) == 49);
static_assert(offsetof(TrvStartParams, pszCamFileName) == 53);
static_assert(offsetof(TrvStartParams, pszSection) == 61);
static_assert(sizeof(TrvStartParams) == 69);
static_assert(offsetof(TrvAoiParams, x) == 4);
static_assert(offsetof(TrvAoiParams, y) == 8);
static_assert(offsetof(TrvAoiParams, width) == 16);
static_assert(offsetof(TrvAoiParams, height) == 20);
static_assert(sizeof(TrvAoiParams) == 24);
static_assert(offsetof(TrvTimingParams, dExposure) == 8);
static_assert(sizeof(TrvTimingParams) == 16);
static_assert(offsetof(TrvPraxControlParams, dPercent) == 4);
static_assert(sizeof(TrvPraxControlParams) == 12);
static_assert(offsetof(TrvPraxCamResParams, dResY) == 8);
static_assert(sizeof(TrvPraxCamResParams) == 16);
static_assert(sizeof(wchar_t*) == 8 && sizeof(TrvFrameCallback) == 8, "x86-64 only");

// The one export, ordinal 1.
extern "C" int32_t TrvCmd(int32_t code, intptr_t param);
