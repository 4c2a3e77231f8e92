// Start-up and the shared tear-down of stop, close and unload.
#include "acquisition/cam_thread.h"
#include "camera/my_cam.h"
#include "camera/open_close.h"
#include "infra/globals.h"
#include "handlers.h"
#include "infra/settings.h"
#include "infra/settings_path_rules.h"
#include "infra/trv_log.h"

namespace {

constexpr DWORD kSliceMs = 5000;
constexpr int kSliceSeconds = 5;
constexpr DWORD kPassOnMs = 20;

// A host string into a 260-character global. One that is null or does not fit is not used
// (a cut name would name another file or section): logged, and the value before stays.
void TakeName(wchar_t* dst, const wchar_t* src, const char* what) {
    if (!trv::CopyWhole(dst, kNameChars, src)) {
        gLog.Write("**** TrvCmd: ");
        gLog.Write(what);
        gLog.Write(src == nullptr ? " is null, ignored\n" : " too long, ignored\n");
    }
}

bool CameraThreadReady(LONG startNumber) {
    return InterlockedCompareExchange(&gCamThreadReady, 0, 0) == startNumber;
}

// Waits in 5-second slices for the camera thread given `startNumber`. "TRV_UEYE_EVENT" is shared
// by every process: a signal that is not this thread's (another process starting at the same
// moment, or a start that timed out) is set again for its owner, which takes it while this start
// pauses. Two signals that meet in the event make one, so the ready flag is also read when a
// slice ends.
void WaitForCameraThread(HANDLE ready, LONG startNumber) {
    const int waitSeconds = ReadSettingsInt(L"CamSN_Wait", 60);
    int slices = waitSeconds / kSliceSeconds;
    if (slices < 1) {
        slices = 1;
    }
    for (int i = 0; i < slices; ++i) {
        gLog.Write("***** UEYECAM Init3 waiting ");
        LogInt(waitSeconds);
        gLog.Write("...\n");
        const DWORD sliceStart = GetTickCount();
        DWORD spent = 0;
        while (spent < kSliceMs && WaitForSingleObject(ready, kSliceMs - spent) == WAIT_OBJECT_0) {
            if (CameraThreadReady(startNumber)) {
                return;
            }
            SetEvent(ready);
            Sleep(kPassOnMs);
            spent = GetTickCount() - sliceStart;
        }
        if (CameraThreadReady(startNumber)) {
            return;
        }
    }
}

void StartCameraThread() {
    static LONG startNumber = 0;
    const LONG number = ++startNumber;
    const DWORD start = GetTickCount();
    HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, L"TRV_UEYE_EVENT");
    gLog.Write("***** UEYECAM Init1\n");
    gLog.Write("***** UEYECAM Init2\n");
    InterlockedExchange(&gCamThreadRunning, 1);
    HANDLE thread =
        CreateThread(nullptr, 0, uEueCamThread,
                     reinterpret_cast<LPVOID>(static_cast<intptr_t>(number)), 0, nullptr);
    if (thread != nullptr) {
        CloseHandle(thread); // detached: it runs for the life of the process
        WaitForCameraThread(ready, number);
    } else {
        // LCOV_EXCL_START: no test can make CreateThread fail under Wine
        InterlockedExchange(&gCamThreadRunning, 0);
        gLog.Write("***** UEYECAM Init2 no camera thread, error ");
        LogUInt(GetLastError());
        gLog.Write("\n");
        // LCOV_EXCL_STOP
    }
    gLog.Write("***** UEYECAM Init4 time=");
    LogInt(static_cast<int32_t>(GetTickCount() - start));
    gLog.Write("\n");
    if (ready != nullptr) {
        CloseHandle(ready);
    }
}

} // namespace

void StartUp(TrvStartParams* block) {
    if (gFrameCallback == nullptr) {
        ResetSettingsNotes();
        gLog.Write("**** TrvCmd: _TRV_DSHOW_CMD_START date=");
        gLog.Write(__DATE__);
        gLog.Write("\n");
        gFrameCallback = block->frameCallback;
        gErrorCallback = block->errorCallback;
        TakeName(gConfigDir, block->pszConfigDir, "configuration folder");
        gFocusType = block->nFocusType;
        if (block->pszCamFileName != nullptr) {
            TakeName(gCamFileName, block->pszCamFileName, "camera file name");
        }
        if (block->pszSection != nullptr) {
            TakeName(gSection, block->pszSection, "section");
        }
        gLog.Write("**** TrvCmd: section=");
        gLog.WriteW(gSection);
        gLog.Write("\n");

        // One camera thread per process: a second one would load the cameras again beside
        // the records the first still uses.
        if (InterlockedCompareExchange(&gCamThreadRunning, 0, 0) != 0) {
            gLog.Write("**** TrvCmd: camera thread already running\n");
        } else {
            StartCameraThread();
        }
    }
    if (MyCam* cam = CurrentCam()) {
        block->nSizeX = cam->m_nSizeX;
        block->nSizeY = cam->m_nSizeY;
    }
}

void CloseAllCameras() {
    // The count is read again after each close.
    for (size_t i = 0; i < gMyCams.size(); ++i) {
        CloseCamera(gMyCams[i]);
    }
}
