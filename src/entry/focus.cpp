// Focus commands and the focus-type check.
#include "camera/my_cam.h"
#include "camera/trigger.h"
#include "infra/globals.h"
#include "handlers.h"
#include "infra/trv_log.h"

bool GetFocusType(int32_t* value) {
    if (*value != 1 && *value != 2 && *value != 3) {
        gLog.Write("GetFocusType using free run UNKNOWN TYPE=");
        LogInt(*value);
        gLog.Write("\n");
        *value = 3;
    }
    gLog.Write("GetFocusType=");
    LogInt(*value);
    gLog.Write("\n");
    return true;
}

namespace {

constexpr DWORD kFocusWaitMs = 1000;

// A command's own handle to "FOCUS_LOCK": kept only after a timed-out wait.
struct FocusLockHandle {
    HANDLE handle = nullptr;
};

// Releases and closes a taken "FOCUS_LOCK"; the command opens it anew next time.
struct FocusLockRelease {
    FocusLockHandle& lock;
    ~FocusLockRelease() {
        ReleaseMutex(lock.handle);
        CloseHandle(lock.handle);
        lock.handle = nullptr;
    }
};

FocusLockHandle gStartFocusLock;
FocusLockHandle gStopFocusLock;

// Runs `change` on the current camera under "FOCUS_LOCK"; a wait that times out does nothing.
template <class Change>
void RunFocusCommand(FocusLockHandle& lock, const char* begin, const char* end, Change change) {
    if (lock.handle == nullptr) {
        lock.handle = CreateMutexW(nullptr, FALSE, L"FOCUS_LOCK");
    }
    const DWORD wait = WaitForSingleObject(lock.handle, kFocusWaitMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        return;
    }
    // Left on every way out, also when the change is cut short: another process may wait.
    const FocusLockRelease release{lock};
    gLog.Write(begin);
    MyCam* cam = CurrentCam();
    if (gFocusType != 3 && cam != nullptr) {
        change(*cam);
    }
    gLog.Write(end);
}

} // namespace

bool StartFocus() {
    RunFocusCommand(gStartFocusLock, "StartFocus BEGIN\n", "StartFocus END\n",
                    [](MyCam& cam) { MyStrobeEnable(cam); });
    return true;
}

void ReleaseKeptFocusLocks() {
    for (FocusLockHandle* lock : {&gStartFocusLock, &gStopFocusLock}) {
        if (lock->handle != nullptr) {
            ReleaseMutex(lock->handle); // fails harmlessly: a kept handle's wait timed out
            CloseHandle(lock->handle);
            lock->handle = nullptr;
        }
    }
}

bool StopFocus() {
    RunFocusCommand(gStopFocusLock, "StopFocus BEGIN\n", "StopFocus END\n",
                    [](MyCam& cam) { MyStrobeDisable(cam); });
    return true;
}
