#include "stream_switch.h"

#include "acquisition/cam_thread.h"
#include "acquisition/frame_handoff.h"
#include "camera/capture_status.h"
#include "camera/image_memory.h"
#include "camera/open_close.h"
#include "camera/parameter_files.h"
#include "infra/globals.h"
#include "infra/restore_on_throw.h"
#include "infra/settings.h"
#include "infra/settings_path_rules.h"
#include "infra/trv_log.h"

#include <cwchar>

namespace {

constexpr DWORD kFirstFrameMs = 2000;
constexpr DWORD kSettleMs = 20000;
constexpr LONG kSettleCount = 5;
constexpr int kMessagesPerPump = 25;

// Keeps the host's own windows responsive while a command waits for frames.
void PumpHostMessages() {
    for (int i = 0; i < kMessagesPerPump; ++i) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

LONG FrameCount() {
    return InterlockedCompareExchange(&gFrameEventCount, 0, 0);
}

void LogResult(const char* label, int32_t result) {
    gLog.Write(label);
    LogInt(result);
    gLog.Write("\n");
}

void SwitchConfig(int32_t id) {
    if (static_cast<uint32_t>(id) == gCurCamConfigId) {
        return;
    }
    MyCam* current = CurrentCam();
    if (current == nullptr) {
        gLog.Write("MySetStreamId no camera loaded\n");
        return;
    }
    MyCam& cam = *current;
    gLog.Write("MySetStreamId load new config\n");
    const RestoreOnThrow keep(gCurCamConfigId);
    gCurCamConfigId = static_cast<uint32_t>(id);
    const int32_t stopped = is_StopLiveVideo(cam.m_hCam, ueye::kStopWait);
    if (stopped != 0) {
        LogResult("MySetStreamId is_StopLiveVideo failure: ", stopped);
    }
    MyReloadFile(cam);
    gLog.Write("MySetStreamId is_CaptureVideo...\n");
    const int32_t started = is_CaptureVideo(cam.m_hCam, 1);
    if (started != 0) {
        LogResult("MySetStreamId is_CaptureVideo failure: ", started);
        IsTransferFailed(cam, true);
    }
    gLog.Write("MySetStreamId success1\n");
}

// Left on every way out of the switch, also when it is cut short: the camera thread waits for
// the stream mutex at every frame.
struct StreamMutexRelease {
    HANDLE mutex;
    ~StreamMutexRelease() { ReleaseMutex(mutex); }
};

void WaitForFrames(const MyCam& cam) {
    const DWORD t0 = GetTickCount();
    while (gLastFrameCam != cam.m_hCam && GetTickCount() - t0 < kFirstFrameMs) {
        PumpHostMessages();
        Sleep(1);
    }
    gLog.Write("MySetStreamId success first frame t=");
    LogUInt(GetTickCount() - t0);
    gLog.Write("\n");
    if (gLastFrameCam == cam.m_hCam) {
        while (gLastFrameCam == cam.m_hCam && GetTickCount() - t0 < kSettleMs &&
               FrameCount() < kSettleCount) {
            PumpHostMessages();
            Sleep(1);
        }
    }
    gLog.Write(gLastFrameCam == cam.m_hCam ? "MySetStreamId success t=" : "MySetStreamId fail t=");
    LogUInt(GetTickCount() - t0);
    gLog.Write(" count=");
    LogUInt(static_cast<uint32_t>(FrameCount()));
    gLog.Write("\n");
}

void SwitchCamera(int32_t id) {
    size_t i = 0;
    while (i < gMyCams.size() && gMyCams[i].m_nCamId != id) {
        ++i;
    }
    if (i == gMyCams.size()) {
        gLog.Write("MySetStreamId unable to find camId\n");
        return;
    }
    gLog.Write("MySetStreamId found i = ");
    LogInt(static_cast<int32_t>(i));
    gLog.Write("\n");

    HANDLE mutex = StreamMutex();
    const DWORD wait = WaitForSingleObject(mutex, INFINITE);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        return;
    }
    MyCam& next = gMyCams[i];
    {
        const StreamMutexRelease release{mutex};
        if (i != gCurCamIndex) {
            if (MyCam* current = CurrentCam(); current != nullptr && current->m_bLive) {
                gLog.Write("MySetStreamId stopping current...\n");
                const int32_t stopped = is_StopLiveVideo(current->m_hCam, ueye::kStopWait);
                if (stopped != 0) {
                    LogResult("***** UEYECAM is_StopLiveVideo failure: ", stopped);
                }
                current->m_bLive = false;
            }
        }
        gCurCamIndex = static_cast<uint32_t>(i);
        if (!next.m_bLive) {
            gLog.Write("MySetStreamId starting new...\n");
            const int32_t started = is_CaptureVideo(next.m_hCam, 1);
            if (started == 0) {
                next.m_bLive = true;
            } else {
                LogResult("***** UEYECAM is_CaptureVideo failure: ", started);
                IsTransferFailed(next, true);
            }
            InterlockedExchange(&gFrameEventCount, 0);
        }
    }
    gLog.Write("MySetStreamId waiting for image...\n");
    if (next.m_bLive) {
        WaitForFrames(next);
    }
    gLog.Write("MySetStreamId finished\n");
}

} // namespace

void MySetStreamId(intptr_t id) {
    gCamShareConfig = ReadSettingsInt(L"CamShareConfig", 0) == 1;
    const int32_t id32 = static_cast<int32_t>(id);
    gLog.Write("MySetStreamId camId = ");
    if (id32 == id) {
        LogInt(id32);
    } else {
        gLog.Write("(beyond 32 bits)");
    }
    gLog.Write(" gCamShareConfig=");
    LogInt(gCamShareConfig ? 1 : 0);
    gLog.Write(" gCurCamConfigId=");
    LogUInt(gCurCamConfigId);
    gLog.Write("\n");
    if (id32 != id) {
        gLog.Write("MySetStreamId unable to find camId\n");
        return;
    }
    if (gCamShareConfig) {
        SwitchConfig(id32);
    } else {
        SwitchCamera(id32);
    }
}

bool MyResetConfig(const wchar_t* name) {
    gLog.Write("MyResetConfig load new config\n");
    if (name == nullptr || wcsnlen(name, kNameChars) >= kNameChars) {
        gLog.Write(name == nullptr ? "MyResetConfig name is null, ignored\n"
                                   : "MyResetConfig name too long, ignored\n");
        return false;
    }
    if (_wcsicmp(gCamFileName, name) == 0) {
        gLog.Write("MyResetConfig same config\n");
        return true;
    }
    if (gMyCams.size() >= 2) {
        gLog.Write("MyResetConfig multicam config\n");
        return true;
    }
    MyCam* cam = CurrentCam();
    if (cam == nullptr) {
        gLog.Write("MyResetConfig no camera loaded\n");
        return false;
    }
    const RestoreOnThrow keep(gCamFileName);
    trv::CopyWhole(gCamFileName, kNameChars, name);
    const int32_t stopped = is_StopLiveVideo(cam->m_hCam, ueye::kStopWait);
    if (stopped != 0) {
        LogResult("MyResetConfig is_StopLiveVideo failure: ", stopped);
    }
    const bool reloaded = MyReloadFile(*cam);
    gLog.Write("MyResetConfig is_CaptureVideo... retval=");
    LogInt(reloaded ? 1 : 0);
    gLog.Write("\n");
    const int32_t started = is_CaptureVideo(cam->m_hCam, 1);
    if (started != 0) {
        LogResult("MyResetConfig is_CaptureVideo failure: ", started);
        IsTransferFailed(*cam, true);
        return false;
    }
    gLog.Write("MyResetConfig complete\n");
    return reloaded;
}

bool MyReloadFile(MyCam& cam) {
    wchar_t path[kNameChars];
    if (gCamShareConfig ? ConfigFilePath(gCurCamConfigId, path) : DefaultFilePath(path)) {
        gLog.Write(gCamShareConfig ? "MyReloadFile1 file=" : "MyReloadFile2 file=");
        gLog.WriteW(path);
        gLog.Write(" found=");
        LogInt(ProbeFile(path) ? 1 : 0);
        gLog.Write("\n");
        const bool loaded = LoadParameterFile(cam, path);
        LogLoadResult(loaded, path);
        if (loaded) {
            RememberConfigId();
        }
    }
    RefreshFromCamera(cam);
    const int32_t display = InitDisplayMode(cam);
    gLog.Write("MyReloadFile m_nSizeX=");
    LogInt(cam.m_nSizeX);
    gLog.Write(" m_nSizeY=");
    LogInt(cam.m_nSizeY);
    gLog.Write(" ret=");
    LogInt(display);
    gLog.Write("\n");
    if (display != 0) {
        return true;
    }
    gLog.Write("MyReloadFile Enable\n");
    SetCameraEvents(cam, gCamWnd);
    if (cam.m_nTriggerMode == 1) {
        gLog.Write("MyReloadFile Trigger\n");
        is_TriggerMode(cam.m_hCam, IS_SET_TRIGGER_SOFTWARE);
    }
    gLog.Write("MyReloadFile success\n");
    return true;
}
