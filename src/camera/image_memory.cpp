#include "image_memory.h"

#include "binning.h"
#include "infra/trv_log.h"

namespace {

void Step(int n) {
    gLog.Write("***** UEYECAM InitDisplayMode");
    LogInt(n);
    gLog.Write("\n");
}

void ReleaseImageMemory(MyCam& cam) {
    if (cam.m_pcImageMemory != nullptr) {
        Step(4);
        is_ImageMemFree(cam.m_hCam, cam.m_pcImageMemory, cam.m_lMemoryId);
    }
    cam.m_pcImageMemory = nullptr;
}

// Colour mode and bits per pixel from the sensor's colour kind.
void ChooseColorMode(MyCam& cam) {
    const uint8_t kind = cam.m_sInfo.nColorKind;
    if (kind == 2 || kind == 4) {
        Step(kind == 2 ? 6 : 7);
        cam.m_nColorMode = ueye::kColorRgb24;
        cam.m_nBitsPerPixel = 24;
    } else {
        Step(8);
        cam.m_nColorMode = ueye::kColorMono8;
        cam.m_nBitsPerPixel = 8;
    }
}

int32_t Allocate(MyCam& cam) {
    Step(9);
    return is_ImageMemAlloc(cam.m_hCam, cam.m_nSizeX, cam.m_nSizeY, cam.m_nBitsPerPixel,
                            &cam.m_pcImageMemory, &cam.m_lMemoryId);
}

} // namespace

void LogAoiRect(const char* label, const int32_t (&rect)[4]) {
    gLog.Write(label);
    LogInt(rect[0]);
    gLog.Write(" y=");
    LogInt(rect[1]);
    gLog.Write(" w=");
    LogInt(rect[2]);
    gLog.Write(" h=");
    LogInt(rect[3]);
    gLog.Write("\n");
}

void ReadSensorImageSize(MyCam& cam) {
    int32_t size[2] = {0, 0};
    is_AOI(cam.m_hCam, ueye::kAoiGetSize, size, sizeof size);
    cam.m_nSizeX = size[0];
    cam.m_nSizeY = size[1];
    int32_t fullWidth = 0;
    int32_t fullHeight = 0;
    is_AOI(cam.m_hCam, ueye::kAoiFullWidth, &fullWidth, sizeof fullWidth);
    is_AOI(cam.m_hCam, ueye::kAoiFullHeight, &fullHeight, sizeof fullHeight);
    if (fullWidth != 0) {
        cam.m_nSizeX = static_cast<int32_t>(cam.m_sInfo.nMaxWidth);
    }
    if (fullHeight != 0) {
        cam.m_nSizeY = static_cast<int32_t>(cam.m_sInfo.nMaxHeight);
    }
}

void DivideByBinning(MyCam& cam) {
    int32_t hx = 1;
    int32_t vx = 1;
    GetBinningSizes(cam, hx, vx);
    cam.m_nSizeX /= hx;
    cam.m_nSizeY /= vx;
    GetSubSamplingSizes(cam, hx, vx);
    cam.m_nSizeX /= hx;
    cam.m_nSizeY /= vx;
}

void ReadImageSize(MyCam& cam) {
    ReadSensorImageSize(cam);
    DivideByBinning(cam);
}

int32_t InitDisplayMode(MyCam& cam) {
    Step(1);
    if (cam.m_hCam == 0) {
        Step(2);
        return -1;
    }
    Step(3);
    ReleaseImageMemory(cam);
    Step(5);
    is_DisplayMode(cam.m_hCam, 1);
    ChooseColorMode(cam);
    int32_t result = Allocate(cam);
    if (result != 0) {
        Step(10);
        Step(12);
    } else {
        Step(11);
        result = is_ImageMemActivate(cam.m_hCam, cam.m_pcImageMemory, cam.m_lMemoryId);
        Step(12);
        if (result == 0) {
            Step(13);
            is_ColorMode(cam.m_hCam, cam.m_nColorMode);
            int32_t size[2] = {cam.m_nSizeX, cam.m_nSizeY};
            is_AOI(cam.m_hCam, ueye::kAoiSetSize, size, sizeof size);
        }
    }
    Step(14);
    return result;
}

void ReallocMemory(MyCam& cam) {
    int32_t rect[4] = {0, 0, 0, 0};
    is_AOI(cam.m_hCam, ueye::kAoiGetRect, rect, sizeof rect);
    LogAoiRect("***** UEYECAM ReallocMemory x=", rect);
    ReadSensorImageSize(cam);
    gLog.Write("***** UEYECAM ReallocMemory w=");
    LogInt(cam.m_nSizeX);
    gLog.Write(" y=");
    LogInt(cam.m_nSizeY);
    gLog.Write("\n");
    DivideByBinning(cam);
    ReleaseImageMemory(cam);
    Step(5);
    is_DisplayMode(cam.m_hCam, 1);
    ChooseColorMode(cam);
    if (Allocate(cam) == 0) {
        Step(11);
        is_ImageMemActivate(cam.m_hCam, cam.m_pcImageMemory, cam.m_lMemoryId);
    } else {
        Step(10);
    }
}
