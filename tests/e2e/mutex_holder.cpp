// Holds a named mutex for a while, as another program of the host would:
//   mutex_holder <name> <milliseconds>   sets the event <name>_HELD once it owns the mutex.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    const std::string name = argv[1];
    HANDLE m = CreateMutexW(nullptr, FALSE, std::wstring(name.begin(), name.end()).c_str());
    if (m == nullptr || WaitForSingleObject(m, 10000) != WAIT_OBJECT_0) {
        return 1;
    }
    const std::string held = name + "_HELD";
    HANDLE e = CreateEventW(nullptr, TRUE, FALSE, std::wstring(held.begin(), held.end()).c_str());
    SetEvent(e);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])));
    ReleaseMutex(m);
    CloseHandle(m);
    CloseHandle(e);
    return 0;
}
