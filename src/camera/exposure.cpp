#include "exposure.h"

#include "infra/trv_log.h"

namespace {

double dFrameRate = 0.0;
double dExposure = 0.0;
double dFpsCap = 0.0;

void LogTriple(const char* a, double x, const char* b, double y, const char* c, double z) {
    gLog.Write(a);
    LogDouble(x);
    gLog.Write(b);
    LogDouble(y);
    gLog.Write(c);
    LogDouble(z);
    gLog.Write("\n");
}

} // namespace

void GetExposure(MyCam& cam, MyExposureRange& range) {
    double r[3] = {0.0, 0.0, 0.0};
    const int32_t result = is_Exposure(cam.m_hCam, ueye::kExposureRange, r, sizeof r);
    range.dMin = r[0];
    range.dInt = r[2];
    if (range.dMax > r[1]) {
        gLog.Write("GetExposure max override ed.dMax=");
        LogDouble(range.dMax);
        gLog.Write(" dblRange[1]=");
        LogDouble(r[1]);
        gLog.Write("\n");
        range.dMax = r[1];
    }
    gLog.Write("GetExposure nRet=");
    LogInt(result);
    LogTriple(" min=", range.dMin, " max=", range.dMax, " int=", range.dInt);
}

void SetExposure(int32_t percent) {
    MyCam* cam = CurrentCam();
    if (cam == nullptr || cam->m_sExposure.dMax == 0.0) {
        return;
    }
    const MyExposureRange& r = cam->m_sExposure;
    double time = r.dMin + (percent / 100.0) * (r.dMax - r.dMin);
    gLog.Write("SetExposure: Setting Exposure value=");
    LogInt(percent);
    gLog.Write(" time=");
    LogDouble(time);
    gLog.Write("\n");
    is_Exposure(cam->m_hCam, ueye::kExposureSet, &time, sizeof time);
}

bool GetTiming(double& frameRate, double& exposure) {
    MyCam* cam = CurrentCam();
    if (cam == nullptr) {
        return false;
    }
    frameRate = 0.0;
    exposure = 0.0;
    is_FrameRate(cam->m_hCam, ueye::kQueryFrameRate, &frameRate);
    is_Exposure(cam->m_hCam, ueye::kExposureGet, &exposure, sizeof exposure);
    return true;
}

void GetTimeStats(UeyeHandle hCam) {
    double fpsmin = 0.0, fpsmax = 0.0, fpsinc = 0.0;
    is_FrameTimeRange(hCam, &fpsmin, &fpsmax, &fpsinc);
    is_FrameRate(hCam, ueye::kQueryFrameRate, &dFrameRate);
    is_Exposure(hCam, ueye::kExposureGet, &dExposure, sizeof dExposure);
    dFpsCap = dExposure > 1e-12 ? 1000.0 / dExposure : 0.0;
    gLog.Write("GetTimeStats");
    LogTriple(" fpsmin=", fpsmin, " fpsmax=", fpsmax, " fpsinc=", fpsinc);
    LogTriple("GetTimeStats dFrameRate=", dFrameRate, " dExposure=", dExposure,
              " dFpsCap=", dFpsCap);
}

void SetTimeStats(UeyeHandle hCam, bool useCap) {
    double fpsmin = 0.0, fpsmax = 0.0, fpsinc = 0.0;
    is_FrameTimeRange(hCam, &fpsmin, &fpsmax, &fpsinc);
    double applied = 0.0;
    double current = 0.0;
    double readBack = 0.0;
    is_FrameRate(hCam, useCap ? dFpsCap : dFrameRate, &applied);
    is_FrameRate(hCam, ueye::kQueryFrameRate, &current);
    is_Exposure(hCam, ueye::kExposureSet, &dExposure, sizeof dExposure);
    is_Exposure(hCam, ueye::kExposureGet, &readBack, sizeof readBack);
    gLog.Write("SetTimeStats");
    LogTriple(" fpsmin=", fpsmin, " fpsmax=", fpsmax, " fpsinc=", fpsinc);
    LogTriple("SetTimeStats dFrameRate=", dFrameRate, " dExposure=", dExposure,
              " dFpsCap=", dFpsCap);
    LogTriple("SetTimeStats dFpsCapTmp1=", applied, " dFpsCapTmp2=", current,
              " dExposureTmp=", readBack);
}
