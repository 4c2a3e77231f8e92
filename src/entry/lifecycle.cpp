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

// Bounded copy of a host string into a 260-character global; a cut or null name is logged.
void TakeName(wchar_t* dst, const wchar_t* src, const char* what) {
    if (!trv::CopyBounded(dst, kNameChars, src)) {
        gLog.Write("**** TrvCmd: ");
        gLog.Write(what);
        gLog.Write(src == nullptr ? " is null\n" : " cut to 259 characters\n");
    }
}

void WaitForCameraThread(HANDLE ready) {
    const int waitSeconds = ReadSettingsInt(L"CamSN_Wait", 60);
    int slices = waitSeconds / kSliceSeconds;
    if (slices < 1) {
        slices = 1;
    }
    for (int i = 0; i < slices; ++i) {
        gLog.Write("***** UEYECAM Init3 waiting ");
        LogInt(waitSeconds);
        gLog.Write("...\n");
        if (WaitForSingleObject(ready, kSliceMs) == WAIT_OBJECT_0) {
            break;
        }
    }
}

} // namespace

void StartUp(TrvStartParams* block) {
    if (gFrameCallback == nullptr) {
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

        const DWORD start = GetTickCount();
        HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, L"TRV_UEYE_EVENT");
        gLog.Write("***** UEYECAM Init1\n");
        gLog.Write("***** UEYECAM Init2\n");
        HANDLE thread = CreateThread(nullptr, 0, uEueCamThread, nullptr, 0, nullptr);
        if (thread != nullptr) {
            CloseHandle(thread); // detached: it runs for the life of the process
        }
        WaitForCameraThread(ready);
        gLog.Write("***** UEYECAM Init4 time=");
        LogInt(static_cast<int32_t>(GetTickCount() - start));
        gLog.Write("\n");
        if (ready != nullptr) {
            CloseHandle(ready);
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
