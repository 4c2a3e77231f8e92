// Exposure and frame rate. The exposure never exceeds one frame period: a faster frame rate
// shortens it, as on a real sensor.
#include "sim_call.h"

#include <cstring>

using sim::Format;

UEYE_API UeyeStatus is_Exposure(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    std::string args = Format("cmd=%u size=%u", nCommand, nSize);
    if (nCommand == ueye::kExposureSet && pParam != nullptr && nSize == 8) {
        double value = 0.0;
        std::memcpy(&value, pParam, 8);
        args += Format(" value=%.12g", value);
    }
    return sim::OnCamera("is_Exposure", nCommand, hCam, args,
                         sim::OutsOf(nCommand, pParam, pParam != nullptr ? nSize : 0),
                         [=](sim::Camera& c, std::string& outs) {
                             switch (nCommand) {
                             case ueye::kExposureRange: {
                                 if (pParam == nullptr || nSize != 24) {
                                     return sim::kInvalidParameter;
                                 }
                                 const double range[3] = {c.exposureRange.min, c.exposureRange.max,
                                                          c.exposureRange.inc};
                                 std::memcpy(pParam, range, sizeof range);
                                 outs = Format("min=%.12g max=%.12g inc=%.12g", range[0], range[1],
                                               range[2]);
                                 return 0;
                             }
                             case ueye::kExposureGet:
                                 if (pParam == nullptr || nSize != 8) {
                                     return sim::kInvalidParameter;
                                 }
                                 std::memcpy(pParam, &c.p.exposure, 8);
                                 outs = Format("ms=%.12g", c.p.exposure);
                                 return 0;
                             case ueye::kExposureSet: {
                                 if (pParam == nullptr || nSize != 8) {
                                     return sim::kInvalidParameter;
                                 }
                                 double value = 0.0;
                                 std::memcpy(&value, pParam, 8);
                                 c.p.exposure = sim::BoundExposure(c, value);
                                 // The value applied goes back to the caller.
                                 std::memcpy(pParam, &c.p.exposure, 8);
                                 outs = Format("ms=%.12g", c.p.exposure);
                                 return 0;
                             }
                             default:
                                 return sim::kInvalidParameter;
                             }
                         });
}

UEYE_API UeyeStatus is_FrameRate(UeyeHandle hCam, double dFps, double* pdNewFps) {
    return sim::OnCamera("is_FrameRate", -1, hCam, Format("fps=%.12g", dFps),
                         sim::OutsOf(-1, pdNewFps, 8), [=](sim::Camera& c, std::string& outs) {
                             if (pdNewFps == nullptr) {
                                 return sim::kInvalidParameter;
                             }
                             if (dFps != ueye::kQueryFrameRate) {
                                 const double fastest = 1.0 / c.frameTime.min;
                                 const double slowest = 1.0 / c.frameTime.max;
                                 double fps = dFps;
                                 if (!(fps >= slowest)) {
                                     fps = slowest; // also 0 and NaN
                                 }
                                 if (fps > fastest) {
                                     fps = fastest;
                                 }
                                 c.p.fps = fps;
                                 c.p.exposure = sim::BoundExposure(c, c.p.exposure);
                             }
                             *pdNewFps = c.p.fps;
                             outs = Format("new=%.12g", c.p.fps);
                             return 0;
                         });
}

UEYE_API UeyeStatus is_FrameTimeRange(UeyeHandle hCam, double* pdMin, double* pdMax,
                                      double* pdIntervall) {
    sim::Outs o = sim::OutsOf(-1, pdMin, 8);
    o.at[1] = pdMax;
    o.at[2] = pdIntervall;
    return sim::OnCamera(
        "is_FrameTimeRange", -1, hCam, "", o, [=](sim::Camera& c, std::string& outs) {
            if (pdMin == nullptr || pdMax == nullptr || pdIntervall == nullptr) {
                return sim::kInvalidParameter;
            }
            *pdMin = c.frameTime.min;
            *pdMax = c.frameTime.max;
            *pdIntervall = c.frameTime.inc;
            outs = Format("min=%.12g max=%.12g inc=%.12g", *pdMin, *pdMax, *pdIntervall);
            return 0;
        });
}
