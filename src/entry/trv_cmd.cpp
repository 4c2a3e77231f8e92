// The exported entry point and the library entry.
#include "acquisition/frame_handoff.h"
#include "camera/camera_list.h"
#include "camera/my_cam.h"
#include "dispatcher.h"
#include "handlers.h"
#include "infra/globals.h"
#include "infra/trv_log.h"
#include "record/recorder.h"

extern "C" int32_t TrvCmd(int32_t code, intptr_t param) {
    EnterCriticalSection(&gCmdLock);
    RecordCommand(code, param);
    const bool ok = Dispatch(code, param); // catches what a command throws
    RecordReturn(code, param, ok ? 1 : 0);
    LeaveCriticalSection(&gCmdLock);
    return ok ? 1 : 0;
}

// At process exit (reserved not null) the other threads are already gone, perhaps inside the
// heap or holding a mutex: nothing is freed, released or waited for, the process end does it.
// Only an unload while the process goes on (FreeLibrary) cleans up.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCommandLock();
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        ReleaseKeptFocusLocks();
        CloseStreamMutex();
        FreeCameraRecords();
        FreeCameraList();
        gLog.Close();
    }
    return TRUE;
}
