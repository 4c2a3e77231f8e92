#include "my_cam.h"

#include "infra/globals.h"

std::vector<MyCam> gMyCams;

MyCam* CurrentCam() {
    return gCurCamIndex < gMyCams.size() ? &gMyCams[gCurCamIndex] : nullptr;
}
