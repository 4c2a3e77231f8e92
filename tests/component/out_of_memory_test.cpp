// Out of memory: START with every allocation of its thread failing runs to its end. Then, per
// command, the n-th allocation of the command's thread fails, n = 1, 2, ... until the command
// runs through; after each failure FOCUS_LOCK is free, the camera is live and its frames come,
// the current configuration, camera and file name are unchanged, and a retry makes the calls
// of a run that never failed.
#include "camera/parameter_files.h"
#include "entry/dispatcher.h"
#include "infra/globals.h"
#include "host_settings.h"
#include "log_reader.h"
#include "log_text.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <regex>
#include <thread>

namespace {
thread_local long tAllocations = 0;
thread_local long tFailAt = 0; // this allocation fails; below 0: every one from -tFailAt on
} // namespace

void* operator new(std::size_t size) {
    const long n = ++tAllocations;
    void* p = n == tFailAt || (tFailAt < 0 && n >= -tFailAt) ? nullptr
                                                             : std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p; // freed by the default delete
}

namespace {

using trvtest::Has;

// As TrvCmd runs a command: under the command lock, so no frame is delivered meanwhile.
bool Cmd(int32_t code, intptr_t arg) {
    EnterCriticalSection(&gCmdLock);
    const bool ok = Dispatch(code, arg);
    LeaveCriticalSection(&gCmdLock);
    return ok;
}

volatile LONG gFrames = 0;

bool FramesCome() {
    const LONG before = gFrames;
    for (int i = 0; i < 1000 && gFrames == before; ++i) {
        Sleep(10);
    }
    return gFrames != before;
}

bool FocusLockFree() {
    bool free = false;
    std::thread([&free] {
        HANDLE m = CreateMutexW(nullptr, FALSE, L"FOCUS_LOCK");
        free = WaitForSingleObject(m, 0) == WAIT_OBJECT_0 && ReleaseMutex(m);
        CloseHandle(m);
    }).join();
    return free;
}

// The journal without results; image memory ids differ from run to run.
std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    for (const std::string& line : trvtest::Journal()) {
        calls.push_back(
            std::regex_replace(line.substr(0, line.find(" -> ")), std::regex("id=[0-9]+"), "id="));
    }
    return calls;
}

std::wstring Current() {
    return std::to_wstring(gCurCamConfigId) + L" " + std::to_wstring(gCurCamIndex) + L" " +
           gCamFileName;
}

struct OomRow {
    const char* name;
    bool twoCameras;  // CamSN_1 and CamSN_2, else the single camera
    bool shareConfig; // CamShareConfig=1
    int32_t code;
    intptr_t arg;
    const char* work; // a call that a successful run makes
    int32_t undoCode; // the command after which the next run does the same again, or 0
    intptr_t undoArg;
};

class OutOfMemoryAt : public testing::TestWithParam<OomRow> {};

TEST_P(OutOfMemoryAt, EveryAllocationOfTheCommandLeavesNothingBehind) {
    const OomRow& r = GetParam();
    trvtest::HostSettings settings;
    settings.Set(L"CamShareConfig", r.shareConfig ? L"1" : L"0");
    settings.Set(L"CamSN_1", r.twoCameras ? L"A" : L"");
    settings.Set(L"CamSN_2", r.twoCameras ? L"B" : L"");
    settings.WriteConfigFile(L"ueyecam_3.ini", "[sim-camera-parameters]\naoi=0 0 32 16\n");
    settings.WriteConfigFile(L"other.ini", "[sim-camera-parameters]\naoi=0 0 32 16\n");
    sim_reset();
    sim_set_fps(100);
    for (const char* serial : {"A", "B"}) {
        const SimCamera c = sim_camera(serial, serial[0] == 'A' ? 1 : 2, 2, 64, 48);
        sim_add_camera(&c);
    }
    LogReader log;
    log.Drain();
    TrvStartParams block = {};
    block.frameCallback = [](unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {
        InterlockedIncrement(&gFrames);
    };
    block.pszConfigDir = settings.configDir.c_str();
    block.nFocusType = 1;
    tFailAt = -1;
    ASSERT_TRUE(Cmd(_TRV_DSHOW_CMD_START, reinterpret_cast<intptr_t>(&block)));
    tFailAt = 0;
    const std::string started = ToUtf8(log.Drain());
    ASSERT_TRUE(Has(started, "Init4 time=") && !Has(started, "out of memory")) << started;
    ASSERT_TRUE(!r.twoCameras || Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 1));
    const int live = static_cast<int>(gCurCamIndex);
    ASSERT_EQ(trvtest::SimQuery(live, "live"), "1");
    const std::wstring before = Current();
    const auto undo = [&r] { return r.undoCode == 0 || Cmd(r.undoCode, r.undoArg); };

    sim_journal_clear();
    ASSERT_TRUE(Cmd(r.code, r.arg));
    const std::vector<std::string> done = Calls();
    ASSERT_TRUE(Has(testing::PrintToString(done), r.work)) << testing::PrintToString(done);
    ASSERT_TRUE(undo() && Current() == before);
    for (long n = 1;; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        log.Drain(); // a full log would drop the line looked for
        sim_journal_clear();
        tAllocations = 0;
        tFailAt = n;
        const bool answer = Cmd(r.code, r.arg);
        tFailAt = 0;
        if (tAllocations < n) {
            EXPECT_EQ(Calls(), done) << "a run without a failure";
            std::printf("%s: %ld allocations\n", r.name, n - 1);
            break;
        }
        EXPECT_EQ(answer, r.code != _TRV_DSHOW_CMD_RESET_CONFIG)
            << "the answer of a command cut short";
        EXPECT_TRUE(Has(ToUtf8(log.Drain()),
                        "TrvCmd: out of memory in command " + std::to_string(r.code) + "\n"));
        EXPECT_TRUE(FocusLockFree());
        EXPECT_EQ(trvtest::SimQuery(live, "live"), "1");
        EXPECT_TRUE(FramesCome());
        EXPECT_EQ(Current(), before);
        sim_journal_clear();
        EXPECT_TRUE(Cmd(r.code, r.arg));
        EXPECT_EQ(Calls(), done) << "the retry";
        ASSERT_TRUE(undo());
    }
    gFrameCallback = nullptr;
}

const wchar_t kOther[] = L"other.ini";
const wchar_t kDefault[] = L"ueyecam.ini";

INSTANTIATE_TEST_SUITE_P(
    Commands, OutOfMemoryAt,
    testing::Values(
        OomRow{"StartFocus", false, false, 8, 0, "is_IO hCam=1 cmd=20 size=4 value=2", 0, 0},
        OomRow{"StopFocus", false, false, 10, 0, "is_TriggerMode hCam=1 mode=0x1008", 0, 0},
        OomRow{"SwitchConfig", false, true, 32, 3, "ueyecam_3.ini", 32, -1},
        OomRow{"SwitchCamera", true, false, 32, 2, "is_CaptureVideo hCam=2", 32, 1},
        OomRow{"ResetConfig", false, false, 42, reinterpret_cast<intptr_t>(kOther), "other.ini", 42,
               reinterpret_cast<intptr_t>(kDefault)}),
    [](const testing::TestParamInfo<OomRow>& info) { return std::string(info.param.name); });

} // namespace
