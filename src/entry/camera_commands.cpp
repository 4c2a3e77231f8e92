// Commands that pass their block on to the camera operations of the current record.
#include "camera/aoi.h"
#include "camera/exposure.h"
#include "camera/my_cam.h"
#include "handlers.h"

void SetExposureCommand(int32_t percent) {
    SetExposure(percent);
}

void GetTimingCommand(TrvTimingParams* block) {
    double frameRate = 0.0;
    double exposure = 0.0;
    if (GetTiming(frameRate, exposure)) {
        block->dFrameRate = frameRate;
        block->dExposure = exposure;
    }
}

bool AoiCommand(TrvAoiParams* block) {
    MyCam* cam = CurrentCam();
    if (cam == nullptr) {
        return false;
    }
    // The block is byte-packed: work on copies of its fields.
    int32_t x = block->x, y = block->y, width = block->width, height = block->height;
    if (block->nMode == 2) {
        if (!GetAoiRect(*cam, x, y, width, height)) {
            return false;
        }
    } else {
        SetAoiRect(*cam, block->nMode, x, y, width, height);
    }
    block->x = x;
    block->y = y;
    block->width = width;
    block->height = height;
    return true;
}
