#include "camera_loading.h"

#include "camera/open_close.h"
#include "camera/parameter_files.h"
#include "infra/settings.h"
#include "infra/trv_log.h"

#include <cwchar>
#include <string>

namespace {

constexpr int kNoCameraShareLast = 195935983; // 0xBADBEEF: no configuration id stored
// Keys beyond this are not read: a huge CamSN_Max would otherwise stall the start-up.
constexpr int kMostConfiguredCameras = 1000;
constexpr unsigned kSerialChars = 256;

void ResetRecord(MyCam& cam) {
    cam.m_nCamId = 0;
    cam.m_hCam = 0;
    cam.m_nTriggerMode = 1;
    cam.m_lMemoryId = 0;
    cam.m_pcImageMemory = nullptr;
    cam.m_nFrameBufferSize = 0;
    cam.m_pcFrameBufferA = nullptr;
    cam.m_pcFrameBufferB = nullptr;
    cam.m_bFrameBufferToggle = false;
    cam.m_dwLastFrameTick = 0;
}

} // namespace

void InitializeExposureDefaults(MyCam& cam) {
    const int maxMs = ReadSettingsInt(L"MaxExposureMs", 0);
    // value x 1000 as a 32-bit integer, wrapping as such
    const int32_t maxUs = static_cast<int32_t>(static_cast<uint32_t>(maxMs) * 1000u);
    cam.m_sExposure.dMin = 0.0;
    cam.m_sExposure.dMax = static_cast<double>(maxUs);
    cam.m_sExposure.dInt = 1.0;
    gLog.Write("InitializeExposureDefaults min=");
    LogDouble(cam.m_sExposure.dMin);
    gLog.Write(" max=");
    LogDouble(cam.m_sExposure.dMax);
    gLog.Write(" int=");
    LogDouble(cam.m_sExposure.dInt);
    gLog.Write("\n");
}

int OnInitDialog(MyCam& cam, HWND hwnd, const wchar_t* serNo) {
    gLog.Write("***** UEYECAM OnInitDialog1\n");
    ResetRecord(cam);
    InitializeExposureDefaults(cam);
    OpenCamera(cam, hwnd, serNo);
    gLog.Write("***** UEYECAM OnInitDialog2\n");
    const int32_t modes = is_TriggerMode(cam.m_hCam, ueye::kQuerySupportedTrigger);
    gLog.Write("***** UEYECAM OnInitDialog3 modes=");
    LogInt(modes);
    gLog.Write("\n");
    if ((modes & IS_SET_TRIGGER_SOFTWARE) == IS_SET_TRIGGER_SOFTWARE) {
        gLog.Write("***** UEYECAM OnInitDialog4\n");
    }
    gLog.Write("***** UEYECAM OnInitDialog5\n");
    return 1;
}

void MyLoadMultiple(HWND hwnd) {
    int maxCams = ReadSettingsInt(L"CamSN_Max", 20);
    gLog.Write("MyLoadMultiple maxCams=");
    LogInt(maxCams);
    gLog.Write("\n");
    if (maxCams > kMostConfiguredCameras) {
        gLog.Write("MyLoadMultiple maxCams limited to ");
        LogInt(kMostConfiguredCameras);
        gLog.Write("\n");
        maxCams = kMostConfiguredCameras;
    }
    // Room for every record up front: a command that reads the list after a timed-out start
    // must not see it move.
    if (maxCams > 0) {
        gMyCams.reserve(gMyCams.size() + static_cast<size_t>(maxCams) + 1);
    }
    for (int n = 1; n <= maxCams; ++n) {
        const std::wstring key = L"CamSN_" + std::to_wstring(n);
        gLog.Write("MyLoadMultiple key=");
        gLog.WriteW(key.c_str());
        gLog.Write("\n");
        wchar_t serNo[kSerialChars] = {};
        ReadSettingsString(key.c_str(), L"", serNo, kSerialChars);
        if (serNo[0] == 0) {
            continue;
        }
        gLog.Write("KEY=");
        gLog.WriteW(key.c_str());
        gLog.Write(" SERNO=");
        gLog.WriteW(serNo);
        gLog.Write("\n");
        MyCam cam = {};
        cam.m_pszSerNo = _wcsdup(serNo);
        gLog.Write("MyLoadMultiple init dialog\n");
        if (OnInitDialog(cam, hwnd, serNo) != 0) {
            cam.m_nCamId = n;
            gMyCams.push_back(cam);
        }
    }
    gLog.Write("MyLoadMultiple gMyCams.size()=");
    LogInt(static_cast<int32_t>(gMyCams.size()));
    gLog.Write("\n");
}

void MyLoadSingle(HWND hwnd) {
    gLog.Write("MyLoadSingle begin\n");
    // Before the open: opening loads the parameter file of the current configuration id.
    if (ReadSettingsInt(L"CamShareConfig", 0) == 1) {
        const int last = ReadSettingsInt(L"CamShareLast", kNoCameraShareLast);
        if (last != kNoCameraShareLast) {
            gCurCamConfigId = static_cast<uint32_t>(last);
            gCamShareConfig = true;
        }
    }
    // Room first, as for several cameras: after a timed-out start a command may read the
    // list while the record is appended.
    gMyCams.reserve(gMyCams.size() + 1);
    MyCam cam = {};
    OnInitDialog(cam, hwnd, L"");
    gMyCams.push_back(cam);
    gLog.Write("MyLoadSingle end\n");
}
