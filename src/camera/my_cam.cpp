#include "my_cam.h"

#include "infra/globals.h"
#include "infra/kept_global.h"

namespace {
KeptGlobal<std::vector<MyCam>> gRecords;
} // namespace

std::vector<MyCam>& gMyCams = gRecords.Get();

void FreeCameraRecords() {
    gRecords.Destroy();
}

MyCam* CurrentCam() {
    return gCurCamIndex < gMyCams.size() ? &gMyCams[gCurCamIndex] : nullptr;
}
