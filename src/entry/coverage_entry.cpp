// The DLL's entry in coverage builds only (./trv coverage). At every detach, FreeLibrary or
// process exit, the gcov counters of the plug-in are written first, so that nothing the detach
// does (DllMain, exit-time destructors) can lose them; then they start again from zero, and the
// runtime's own dump during its detach adds what DllMain did. Exit-time destructors run after
// that dump and are never counted.
#include <windows.h>

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE dll, DWORD reason, LPVOID reserved);
extern "C" void __gcov_dump(void);
extern "C" void __gcov_reset(void);

extern "C" BOOL WINAPI TrvCoverageEntry(HANDLE dll, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        __gcov_dump();
        __gcov_reset();
    }
    return DllMainCRTStartup(dll, reason, reserved);
}
