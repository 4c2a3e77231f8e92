#include "aoi.h"

#include "aoi_rules.h"
#include "exposure.h"
#include "image_memory.h"
#include "infra/trv_log.h"

namespace {

// The full frame saved by the last set (or the first reset), for the whole process.
int32_t gFullFrameSize[2] = {0, 0};
int32_t gFullFrameOrigin[2] = {0, 0};

int32_t Query(UeyeHandle hCam, uint32_t command, int32_t (&pair)[2]) {
    return is_AOI(hCam, command, pair, sizeof pair);
}

void LogPair(const char* label, int32_t result, const char* a, int32_t x, const char* b,
             int32_t y) {
    gLog.Write(label);
    LogInt(result);
    gLog.Write(a);
    LogInt(x);
    gLog.Write(b);
    LogInt(y);
    gLog.Write("\n");
}

} // namespace

bool GetAoiRect(MyCam& cam, int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
    int32_t r[4] = {0, 0, 0, 0};
    const int32_t result = is_AOI(cam.m_hCam, ueye::kAoiGetRect, r, sizeof r);
    if (result != 0) {
        gLog.Write("***** UEYECAM GetAoiRect error=");
        LogInt(result);
        gLog.Write("\n");
        return false;
    }
    x = r[0];
    y = r[1];
    width = r[2];
    height = r[3];
    LogAoiRect("***** UEYECAM GetAoiRect x=", r);
    return true;
}

void SetAoiRect(MyCam& cam, int32_t mode, int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
    const UeyeHandle h = cam.m_hCam;
    if (cam.m_bLive) {
        is_StopLiveVideo(h, ueye::kStopForce);
    }
    int32_t sizeMax[2] = {0, 0};
    int32_t posMin[2] = {0, 0};
    // Query first: the values must not be read before the call fills them.
    const int32_t sizeResult = Query(h, ueye::kAoiGetSizeMax, sizeMax);
    LogPair("MyCam::SetAoiRect GetSizMax nRet=", sizeResult, " w=", sizeMax[0], " h=", sizeMax[1]);
    const int32_t posResult = Query(h, ueye::kAoiGetPosMin, posMin);
    LogPair("MyCam::SetAoiRect GetPosMin nRet=", posResult, " x=", posMin[0], " y=", posMin[1]);
    int32_t rect[4];
    if (mode == 0) {
        if (gFullFrameSize[0] == 0) {
            gFullFrameSize[0] = sizeMax[0];
            gFullFrameSize[1] = sizeMax[1];
            gFullFrameOrigin[0] = posMin[0];
            gFullFrameOrigin[1] = posMin[1];
        }
        rect[0] = gFullFrameOrigin[0];
        rect[1] = gFullFrameOrigin[1];
        rect[2] = gFullFrameSize[0];
        rect[3] = gFullFrameSize[1];
    } else {
        GetTimeStats(h);
        gFullFrameSize[0] = sizeMax[0];
        gFullFrameSize[1] = sizeMax[1];
        gFullFrameOrigin[0] = posMin[0];
        gFullFrameOrigin[1] = posMin[1];
        int32_t sizeMin[2] = {0, 0};
        int32_t sizeStep[2] = {0, 0};
        int32_t posStep[2] = {0, 0};
        Query(h, ueye::kAoiGetSizeMin, sizeMin);
        Query(h, ueye::kAoiGetSizeStep, sizeStep);
        Query(h, ueye::kAoiGetPosStep, posStep);
        const trv::AoiLimits limits{sizeMax[0], sizeMax[1],  posMin[0],   posMin[1],  sizeMin[0],
                                    sizeMin[1], sizeStep[0], sizeStep[1], posStep[0], posStep[1]};
        const trv::AoiRect fitted = trv::FitAoi({x, y, width, height}, limits);
        rect[0] = fitted.x;
        rect[1] = fitted.y;
        rect[2] = fitted.width;
        rect[3] = fitted.height;
    }
    LogAoiRect("MyCam::SetAoiRect x=", rect);
    const int32_t applied = is_AOI(h, ueye::kAoiSetRect, rect, sizeof rect);
    gLog.Write("MyCam::SetAoiRect is_AOI=");
    LogInt(applied);
    gLog.Write("\n");
    is_AOI(h, ueye::kAoiGetRect, rect, sizeof rect);
    LogAoiRect("MyCam::SetAoiRect x=", rect);
    x = rect[0];
    y = rect[1];
    width = rect[2];
    height = rect[3];
    ReallocMemory(cam);
    SetTimeStats(h, mode != 0);
    if (cam.m_bLive) {
        is_CaptureVideo(h, 1);
    }
}
