// What a host or camera library may legally do: a long sensor-information block (every test),
// a second start-up, a settings path that does not fit, a slow host, two hosts starting at the
// same moment (each taking the other's ready signal first).
#include "e2e_host.h"
#include "host_settings.h"
#include "ueye/ueye_api.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::atomic<int> gCalls{0}, gSecondCalls{0}, gBad{0}, gRepeats{0}, gErrors{0};
std::atomic<uint32_t> gLastNumber{0xFFFFFFFFu};
std::atomic<int64_t> gReturnedUs{0};   // when the last callback returned
std::atomic<int64_t> gLastCopiedUs{0}; // the last frame was copied after this
std::atomic<DWORD> gCallbackMs{0};

void OnFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size, intptr_t,
             int32_t) {
    // The camera thread does one thing at a time: this frame was copied after the last
    // callback returned.
    const int64_t copied = gReturnedUs;
    if (pixels == nullptr || width != 64 || height != 48 || size != 64 * 48 * 3) {
        ++gBad;
    } else {
        const uint32_t number = trvtest::FrameNumber(pixels, false);
        // The one image memory: a frame copied while handling the event before its own (the
        // camera wrote it but had not posted it yet) comes again with its own event. A repeat
        // counts when the first copy was surely made after the frame was posted.
        if (number == gLastNumber.exchange(number) &&
            gLastCopiedUs >= sim_post_time_us(0, number)) {
            ++gRepeats;
        }
        gLastCopiedUs = copied;
    }
    ++gCalls;
    Sleep(gCallbackMs);
    gReturnedUs = trvtest::NowUs();
}

void OnSecondFrame(unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {
    ++gSecondCalls;
}

void OnError() {
    ++gErrors;
}

bool WaitFor(const std::atomic<int>& count, int target) {
    return trvtest::WaitFor([&] { return count >= target; });
}

using trvtest::Has;

class Hardening : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_fps(50);
        const SimCamera cam = sim_camera("H1", 1, 2, 64, 48);
        sim_add_camera(&cam);
        // A library whose sensor information is longer than the fields the plug-in reads.
        sim_configure(0, "sensor_info_bytes", "1024");
    }
    int32_t Start(TrvFrameCallback onFrame = &OnFrame) {
        block = trvtest::StartBlock(settings.configDir, &OnError);
        block.frameCallback = onFrame;
        return host.Cmd(_TRV_DSHOW_CMD_START, &block);
    }
    trvtest::HostSettings settings;
    trvtest::PluginHost host;
    TrvStartParams block = {};
};

// The log of a refused start-up is checked in the lifecycle scenario, after STOP; here the
// camera streams on, to the callback of the refused start.
TEST_F(Hardening, SecondStartUpKeepsTheRunningCameraThread) {
    ASSERT_EQ(Start(), 1);
    ASSERT_TRUE(WaitFor(gCalls, 2));
    TrvFrameCallback none = nullptr;
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_FRAME_CALLBACK, &none), 1);
    ASSERT_EQ(Start(&OnSecondFrame), 1);
    EXPECT_EQ(block.nSizeX, 64);
    EXPECT_TRUE(WaitFor(gSecondCalls, 2)) << "frames go to the new callback";
}

TEST_F(Hardening, SettingsFolderThatDoesNotFitIsIgnoredAndLoggedOncePerStart) {
    SetEnvironmentVariableW(L"TRV_SETTINGS", std::wstring(1023, L'h').c_str());
    ASSERT_EQ(Start(), 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, -1), 1);
    const std::string log = host.TakeLog();
    const std::string line = "GetSettingsPath: TRV_SETTINGS too long, ignored\n";
    // Written in pieces while the camera thread logs: its lines may fall between them.
    EXPECT_TRUE(trvtest::HasInOrder(log, {"***** UEYECAM Init3 waiting ", "60", "...\n"})) << log;
    EXPECT_TRUE(Has(log, line) && log.find(line) == log.rfind(line)) << log;
}

TEST_F(Hardening, SlowHostGetsTheNewestFrameWithoutBacklog) {
    gCallbackMs = 60; // the camera posts a frame every 20 ms
    ASSERT_EQ(Start(), 1);
    ASSERT_TRUE(WaitFor(gCalls, 25));
    ASSERT_EQ(sim_configure(0, "stalled", "1"), 0);
    const int atQuiet = gCalls;
    // Queued behind every frame event posted so far: its callback comes after their frames.
    ASSERT_EQ(sim_post_event(0, IS_GENERIC_ERROR, 0, 0, 0), 0);
    ASSERT_TRUE(WaitFor(gErrors, 1));
    EXPECT_LE(gCalls - atQuiet, 2) << "callbacks after the camera went quiet";
    EXPECT_EQ(gRepeats, 0) << "a frame delivered twice";
    EXPECT_EQ(gBad, 0);
}

// Two host processes start at the same moment, each with its own simulated camera, and share
// "TRV_UEYE_EVENT": the host whose camera is slow to open waits first, so the ready signal of the
// other's camera thread reaches it first. Each START returns soon after its own camera went live,
// well within one 5 s slice of the 12 it may wait.
TEST_F(Hardening, TwoHostsStartingTogetherEachReturnWhenTheirCameraIsReady) {
    HANDLE slowWaits = CreateEventW(nullptr, TRUE, FALSE, L"TrvTwoHostsSlowWaits");
    const char* role = std::getenv("TRV_TWO_HOSTS");
    if (role == nullptr) { // this process starts the two hosts
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=Hardening.TwoHosts*";
        PROCESS_INFORMATION hosts[2] = {};
        for (int i = 0; i < 2; ++i) {
            SetEnvironmentVariableW(L"TRV_TWO_HOSTS", i == 0 ? L"slow" : L"quick");
            STARTUPINFOW si = {};
            si.cb = sizeof si;
            ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                       nullptr, &si, &hosts[i]));
            ASSERT_EQ(WaitForSingleObject(slowWaits, 30000), WAIT_OBJECT_0);
        }
        for (const PROCESS_INFORMATION& h : hosts) {
            DWORD code = 1;
            EXPECT_EQ(WaitForSingleObject(h.hProcess, 100000), WAIT_OBJECT_0);
            EXPECT_TRUE(GetExitCodeProcess(h.hProcess, &code) && code == 0) << "see its output";
        }
        return;
    }
    const bool slow = role[0] == 's';
    sim_set_init_delay_ms(slow ? 4000 : 300);
    settings.Set(L"CamSN_Wait", L"60");
    std::atomic<DWORD> liveAt{0};
    std::atomic<bool> started{false};
    std::thread watch([&] { // until the camera is live, or was not when START had returned
        for (char live[8] = {}; liveAt == 0; Sleep(1)) {
            const bool returned = started;
            if (sim_query(0, "live", live, sizeof live) > 0 && live[0] == '1') {
                liveAt = GetTickCount();
            } else if (returned) {
                break;
            }
        }
    });
    if (slow) {
        SetEvent(slowWaits); // the quick host starts now: this START is waiting before its signal
    }
    const DWORD t0 = GetTickCount();
    EXPECT_EQ(Start(), 1);
    const DWORD returned = GetTickCount();
    started = true;
    watch.join();
    EXPECT_EQ(block.nSizeX, 64) << role;
    ASSERT_NE(liveAt, 0u) << role << ": the camera never went live";
    const LONG late = static_cast<LONG>(returned - liveAt);
    std::printf("%s host: START took %lu ms, returned %ld ms after its camera went live\n", role,
                returned - t0, late);
    EXPECT_LT(late, 2000) << role << " host: START waited on after its camera thread was ready";
}

} // namespace
