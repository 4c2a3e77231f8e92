#include "open_close.h"

#include "camera_list.h"
#include "capture_status.h"
#include "exposure.h"
#include "image_memory.h"
#include "infra/settings.h"
#include "infra/trv_log.h"
#include "parameter_files.h"

#include <string>

namespace {

constexpr unsigned kSerialChars = 256;

void LogSerial(const char* label, const std::wstring& serial) {
    gLog.Write(label);
    gLog.WriteW(serial.c_str());
    gLog.Write("\n");
}

// The init call, with one retry when the library asks for it.
bool Init(MyCam& cam) {
    int32_t result = is_CameraInit(&cam.m_hCam, nullptr);
    if (result == ueye::kInitRetry) {
        int32_t value = 25000;
        is_InitRetryQuery(cam.m_hCam, 4, &value);
        cam.m_hCam |= ueye::kOpenRetryFlag;
        result = is_CameraInit(&cam.m_hCam, nullptr);
    }
    return result == 0;
}

const CamListEntry* FindSerial(const std::wstring& serial) {
    for (const CamListEntry& e : gCamList) {
        if (e.strSerNo == serial) {
            return &e;
        }
    }
    return nullptr;
}

bool OpenEntry(MyCam& cam, const CamListEntry& entry) {
    cam.m_hCam = entry.nDeviceId | ueye::kOpenByDeviceId;
    if (Init(cam)) {
        LogSerial("UEYE Opened camera ", entry.strSerNo);
        return true;
    }
    LogSerial("UEYE ERROR: Unble to open camera ", entry.strSerNo);
    return false;
}

bool OpenFirstFree(MyCam& cam) {
    cam.m_hCam = 0;
    if (Init(cam)) {
        return true;
    }
    gLog.Write("***** UEYECAM OpenCamera11\n");
    return false;
}

} // namespace

void SetCameraEvents(MyCam& cam, HWND hwnd) {
    for (int32_t code : ueye::kEventCodes) {
        is_EventMessage(cam.m_hCam, code, hwnd);
    }
}

void RefreshFromCamera(MyCam& cam) {
    is_SensorInfo(cam.m_hCam, &cam.m_sInfo);
    ReadImageSize(cam);
    GetExposure(cam, cam.m_sExposure);
}

bool OpenCamera(MyCam& cam, HWND hwnd, const wchar_t* userSerNO) {
    const std::wstring requested = userSerNO != nullptr ? userSerNO : L"";
    LogSerial("***** UEYECAM OpenCamera1 userSerNO(", requested + L")");
    if (cam.m_hCam != 0) {
        CloseCamera(cam);
    }
    gLog.Write("***** UEYECAM OpenCamera2a\n");
    EnumerateCameras();
    gLog.Write("***** UEYECAM OpenCamera2b\n");

    std::wstring serialInUse;
    bool withoutSerial = true;
    if (!requested.empty()) {
        const CamListEntry* entry = FindSerial(requested);
        if (entry == nullptr) {
            LogSerial("UEYE ERROR: Unble to find camera ", requested);
            return false;
        }
        if (!OpenEntry(cam, *entry)) {
            return false;
        }
        withoutSerial = false;
        serialInUse = requested;
    } else {
        bool opened = false;
        if (gCamList.size() >= 2) {
            wchar_t configured[kSerialChars] = {};
            ReadSettingsString(L"CamSN", L"", configured, kSerialChars);
            if (configured[0] != 0) {
                const CamListEntry* entry = FindSerial(configured);
                if (entry != nullptr && OpenEntry(cam, *entry)) {
                    opened = true;
                    withoutSerial = false;
                    serialInUse = configured;
                }
            }
        }
        if (!opened && !OpenFirstFree(cam)) {
            return false;
        }
    }

    gLog.Write("***** UEYECAM OpenCamera3\n");
    LoadFile(cam, withoutSerial, serialInUse.c_str());
    gLog.Write("***** UEYECAM OpenCamera4\n");
    RefreshFromCamera(cam);
    const int32_t display = InitDisplayMode(cam);
    gLog.Write("***** UEYECAM OpenCamera5 m_nSizeX=");
    LogInt(cam.m_nSizeX);
    gLog.Write(" m_nSizeY=");
    LogInt(cam.m_nSizeY);
    gLog.Write("\n");
    if (display != 0) {
        gLog.Write("***** UEYECAM OpenCamera10\n");
        return true;
    }
    gLog.Write("***** UEYECAM OpenCamera6\n");
    SetCameraEvents(cam, hwnd);
    if (cam.m_nTriggerMode == 1) {
        gLog.Write("***** UEYECAM OpenCamera7\n");
        is_TriggerMode(cam.m_hCam, IS_SET_TRIGGER_SOFTWARE);
    }
    gLog.Write("***** UEYECAM OpenCamera8\n");
    if (requested.empty()) {
        gLog.Write("***** UEYECAM streaming live video\n");
        const int32_t live = is_CaptureVideo(cam.m_hCam, 1);
        if (live == 0) {
            gLog.Write("***** UEYECAM OpenCamera9\n");
            cam.m_bLive = true;
        } else {
            gLog.Write("***** UEYECAM OpenCamera failure: ");
            LogInt(live);
            gLog.Write("\n");
            IsTransferFailed(cam, true);
        }
    }
    return true;
}

void CloseCamera(MyCam& cam) {
    if (cam.m_hCam == 0) {
        return;
    }
    SetCameraEvents(cam, nullptr);
    is_StopLiveVideo(cam.m_hCam, ueye::kStopWait);
    if (cam.m_pcImageMemory != nullptr) {
        is_ImageMemFree(cam.m_hCam, cam.m_pcImageMemory, cam.m_lMemoryId);
    }
    cam.m_pcImageMemory = nullptr;
    is_CameraExit(cam.m_hCam);
    cam.m_hCam = 0;
}
