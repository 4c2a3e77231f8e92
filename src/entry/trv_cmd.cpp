// The exported entry point and the library entry.
#include "dispatcher.h"
#include "infra/globals.h"
#include "record/recorder.h"

extern "C" int32_t TrvCmd(int32_t code, intptr_t param) {
    EnterCriticalSection(&gCmdLock);
    RecordCommand(code, param);
    bool ok = false;
    try {
        ok = Dispatch(code, param);
    } catch (...) {
        // Nothing crosses the boundary; a command that fails this way reports failure.
        ok = false;
    }
    RecordReturn(code, param, ok ? 1 : 0);
    LeaveCriticalSection(&gCmdLock);
    return ok ? 1 : 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCommandLock();
    }
    return TRUE;
}
