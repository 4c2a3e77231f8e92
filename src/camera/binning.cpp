#include "binning.h"

#include "binning_rules.h"
#include "infra/trv_log.h"

namespace {

void LogFactors(const char* label, int32_t hx, int32_t vx) {
    gLog.Write(label);
    LogInt(hx);
    gLog.Write(" vx=");
    LogInt(vx);
    gLog.Write("\n");
}

// Decodes a query answer into both factors and logs them under `label`.
void Decode(int32_t answer, const char* label, int32_t& hx, int32_t& vx) {
    const trv::Factors f = trv::DecodeFactors(static_cast<uint32_t>(answer));
    hx = f.hx;
    vx = f.vx;
    LogFactors(label, hx, vx);
}

} // namespace

void GetBinningSizes(MyCam& cam, int32_t& hx, int32_t& vx) {
    Decode(is_Binning(cam.m_hCam, ueye::kQuery), "GetBinningSizes hx=", hx, vx);
}

void GetSubSamplingSizes(MyCam& cam, int32_t& hx, int32_t& vx) {
    Decode(is_Subsampling(cam.m_hCam, ueye::kQuery), "GetSubSamplingSizes hx=", hx, vx);
}
