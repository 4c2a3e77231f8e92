// Commands of a plug-in that has no camera, and the named locks it shares with other programs,
// through the real export. One process walks every table.
#include "e2e_host.h"
#include "host_settings.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using trvtest::Has;

std::string StreamIdLog(intptr_t arg) {
    const int32_t id = static_cast<int32_t>(arg);
    return "MySetStreamId camId = " + (id == arg ? std::to_string(id) : "(beyond 32 bits)") +
           " gCamShareConfig=0 gCurCamConfigId=4294967295\nMySetStreamId unable to find camId\n";
}

// The answer and the log of a code that ignores its argument's block, while no camera is loaded.
std::pair<int32_t, std::string> Expected(int32_t code, intptr_t arg) {
    const std::pair<int32_t, const char*> known[] = {{1, "TrvCmd: _TRV_DSHOW_CMD_LOAD\n"},
                                                     {2, "TrvCmd: _TRV_DSHOW_CMD_UNLOAD\n"},
                                                     {3, "TrvCmd: _TRV_DSHOW_CMD_OPEN\n"},
                                                     {4, "TrvCmd: _TRV_DSHOW_CMD_CLOSE\n"},
                                                     {6, "TrvCmd: _TRV_DSHOW_CMD_STOP\n"},
                                                     {8, "StartFocus BEGIN\nStartFocus END\n"},
                                                     {10, "StopFocus BEGIN\nStopFocus END\n"},
                                                     {11, ""},
                                                     {12, ""},
                                                     {15, ""}};
    for (const auto& [c, log] : known) {
        if (c == code) {
            return {1, log};
        }
    }
    if (code == 32) {
        return {1, StreamIdLog(arg)};
    }
    return {0, "TrvCmd: unknown " + std::to_string(code) + "\n"};
}

// "FOCUS_LOCK" exists only while someone keeps a handle to it.
bool FocusLockExists() {
    HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, L"FOCUS_LOCK");
    if (m != nullptr) {
        CloseHandle(m);
    }
    return m != nullptr;
}

// Another thread can take the mutex `m` at once (the calling thread owns what it took itself).
bool FreeElsewhere(HANDLE m) {
    DWORD got = WAIT_TIMEOUT;
    std::thread([&] {
        got = WaitForSingleObject(m, 0);
        if (got != WAIT_TIMEOUT) {
            ReleaseMutex(m);
        }
    }).join();
    return got == WAIT_OBJECT_0;
}

// A handle to the named mutex, which a thread took and ended without releasing.
HANDLE Abandoned(const wchar_t* name) {
    HANDLE m = CreateMutexW(nullptr, FALSE, name);
    std::thread([m] { WaitForSingleObject(m, 10000); }).join();
    return m;
}

class Dispatch : public testing::Test {
  protected:
    trvtest::HostSettings settings;
    trvtest::PluginHost host;
};

TEST_F(Dispatch, EveryCodeWithoutCamera) {
    ASSERT_TRUE(host.loaded());
    std::vector<int32_t> codes = {INT32_MIN, INT32_MAX, 1000};
    for (int32_t c = -2; c <= 49; ++c) {
        codes.push_back(c);
    }
    const intptr_t args[] = {0, -1, 1, 50, INTPTR_MIN, INTPTR_MAX, INT32_MIN, 0x80000000};
    for (int32_t code : codes) {
        if (code == 5 || code == 34 || (code >= 42 && code <= 47)) {
            continue; // they read a block: below
        }
        for (intptr_t arg : args) {
            const auto [result, log] = Expected(code, arg);
            EXPECT_EQ(host.Cmd(code, arg), result) << code << " " << arg;
            EXPECT_EQ(host.TakeLog(), log) << code << " " << arg;
        }
        EXPECT_FALSE(FocusLockExists()) << "kept after command " << code;
    }

    struct FocusType {
        int32_t in, out;
        const char* log;
    };
    for (const FocusType& f :
         {FocusType{0, 3, "UNKNOWN TYPE=0\nGetFocusType=3\n"},
          FocusType{4, 3, "UNKNOWN TYPE=4\nGetFocusType=3\n"},
          FocusType{-1, 3, "UNKNOWN TYPE=-1\nGetFocusType=3\n"},
          FocusType{1, 1, "GetFocusType=1\n"}, FocusType{2, 2, "GetFocusType=2\n"},
          FocusType{3, 3, "GetFocusType=3\n"}}) {
        int32_t value = f.in;
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_GET_FOCUS_TYPE, &value), 1);
        EXPECT_EQ(value, f.out) << f.in;
        const std::string unknown = f.in == f.out ? "" : "GetFocusType using free run ";
        EXPECT_EQ(host.TakeLog(), unknown + f.log) << f.in;
    }

    TrvFrameCallback none = nullptr;
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_FRAME_CALLBACK, &none), 1);
    EXPECT_TRUE(trvtest::Journal().empty()) << "no camera call without a camera";

    const std::wstring name260(260, L'n');
    for (const wchar_t* name : {L"x.ini", name260.c_str(), static_cast<const wchar_t*>(nullptr)}) {
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, name), 0);
        EXPECT_EQ(host.TakeLog(), std::string("MyResetConfig load new config\nMyResetConfig ") +
                                      (name == nullptr   ? "name is null, ignored\n"
                                       : name[1] == L'n' ? "name too long, ignored\n"
                                                         : "no camera loaded\n"));
    }
    // Settings are looked up anew for every read, through TRV_SETTINGS.
    SetEnvironmentVariableW(L"TRV_SETTINGS", std::wstring(1023, L'h').c_str());
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 3), 1);
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Has(log, "GetSettingsPath: TRV_SETTINGS too long, ignored\n"
                         "MySetStreamId camId = 3 gCamShareConfig=0 "))
        << log;
    SetEnvironmentVariableW(L"TRV_SETTINGS", settings.base.c_str());
}

TEST_F(Dispatch, CommandsFromManyThreadsNeverInterleaveLines) {
    ASSERT_TRUE(host.loaded());
    std::vector<std::thread> threads;
    for (int32_t code = 100; code < 104; ++code) {
        threads.emplace_back([this, code] {
            for (int n = 0; n < 50; ++n) {
                host.Cmd(code);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    // Each command writes its line in three pieces under the command lock.
    const std::string all = host.TakeLog();
    size_t lines = 0;
    for (size_t pos = 0, end = 0; pos < all.size(); pos = end + 1, ++lines) {
        end = all.find('\n', pos);
        ASSERT_NE(end, std::string::npos) << all.substr(pos);
        const std::string line = all.substr(pos, end - pos);
        EXPECT_TRUE(line.size() == 19 && line.rfind("TrvCmd: unknown 10", 0) == 0 &&
                    line[18] >= '0' && line[18] <= '3')
            << line;
    }
    EXPECT_EQ(lines, 200u);
}

TEST_F(Dispatch, FocusLockHeldElsewhereAbandonedAndTheLogMutexAbandoned) {
    ASSERT_TRUE(host.loaded());
    // Another holder keeps the lock past the command's wait: nothing done, nothing logged.
    HANDLE held = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const auto startFocusWhileHeldElsewhere = [&] {
        std::thread holder([&] {
            HANDLE m = CreateMutexW(nullptr, FALSE, L"FOCUS_LOCK");
            WaitForSingleObject(m, 10000);
            SetEvent(held);
            WaitForSingleObject(release, 60000);
            ReleaseMutex(m);
            CloseHandle(m);
        });
        EXPECT_EQ(WaitForSingleObject(held, 20000), WAIT_OBJECT_0);
        const DWORD start = GetTickCount();
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
        EXPECT_GE(GetTickCount() - start, 900u) << "the command waited for the lock";
        EXPECT_EQ(host.TakeLog(), "");
        SetEvent(release);
        holder.join();
    };
    startFocusWhileHeldElsewhere();
    EXPECT_TRUE(FocusLockExists()) << "the handle is kept after a timed-out wait";
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    EXPECT_EQ(host.TakeLog(), "StartFocus BEGIN\nStartFocus END\n");
    EXPECT_FALSE(FocusLockExists()) << "released and closed after the next use";

    // A holder that ended without releasing leaves the lock abandoned: usable.
    for (int32_t code : {_TRV_DSHOW_CMD_START_FOCUS, _TRV_DSHOW_CMD_STOP_FOCUS}) {
        HANDLE m = Abandoned(L"FOCUS_LOCK");
        EXPECT_EQ(host.Cmd(code), 1);
        EXPECT_EQ(host.TakeLog(), code == 8 ? "StartFocus BEGIN\nStartFocus END\n"
                                            : "StopFocus BEGIN\nStopFocus END\n");
        EXPECT_TRUE(FreeElsewhere(m)) << "released after the command";
        CloseHandle(m);
        EXPECT_FALSE(FocusLockExists());
    }

    // The same for the log's mutex; the viewer keeps away so that the plug-in meets it first.
    host.Cmd(99);
    host.TakeLog();
    host.Pause(true);
    HANDLE m = Abandoned(L"TRV_LOG_MAPLOCKNAME");
    host.Cmd(98);
    host.Pause(false);
    EXPECT_EQ(host.TakeLog(), "TrvCmd: unknown 98\n");
    CloseHandle(m);

    // Unloading the library (no camera thread runs) closes a handle kept after a timed-out wait.
    startFocusWhileHeldElsewhere();
    ASSERT_TRUE(FocusLockExists());
    FreeLibrary(GetModuleHandleW(trvtest::PluginPath().c_str()));
    EXPECT_FALSE(FocusLockExists()) << "kept after the library was unloaded";
    CloseHandle(held);
    CloseHandle(release);
}

} // namespace
