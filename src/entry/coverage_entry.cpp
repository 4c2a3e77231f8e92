// The DLL's entry in coverage builds only (./trv coverage). At every detach, FreeLibrary or
// process exit, the gcov counters of the plug-in are written first, so that nothing the detach
// does can lose them; then they start again from zero, the runtime's own detach runs (DllMain,
// the exit-time destructors) and what it counted is written last. The runtime would write the
// counters before the exit-time destructors: its call is wrapped (-Wl,--wrap=__gcov_exit) and
// made here, after them.
#include <windows.h>

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE dll, DWORD reason, LPVOID reserved);
extern "C" void __gcov_dump(void);
extern "C" void __gcov_reset(void);
extern "C" void __real___gcov_exit(void);

extern "C" void __wrap___gcov_exit(void) {}

extern "C" BOOL WINAPI TrvCoverageEntry(HANDLE dll, DWORD reason, LPVOID reserved) {
    if (reason != DLL_PROCESS_DETACH) {
        return DllMainCRTStartup(dll, reason, reserved);
    }
    __gcov_dump();
    __gcov_reset();
    const BOOL result = DllMainCRTStartup(dll, reason, reserved);
    __real___gcov_exit();
    return result;
}
