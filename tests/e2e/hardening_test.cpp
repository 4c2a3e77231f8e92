// What a host or a camera library may legally do that must not break the plug-in: a second
// start-up, a ready signal left by an earlier start, a long sensor-information block, a
// settings path that does not fit, and a host slower than the camera.
#include "frame_pattern.h"
#include "host_settings.h"
#include "infra/trv_params.h"
#include "plugin_host.h"
#include "sim_control.h"
#include "ueye/ueye_api.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

namespace {

std::atomic<int> gCalls{0}, gSecondCalls{0}, gBad{0}, gRepeats{0}, gErrors{0};
std::atomic<uint32_t> gLastNumber{0xFFFFFFFFu};
std::atomic<DWORD> gCallbackMs{0};

void OnFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size, intptr_t,
             int32_t) {
    if (pixels == nullptr || width != 64 || height != 48 || size != 64 * 48 * 3) {
        ++gBad;
    } else {
        const uint32_t number = trvtest::FrameNumber(pixels, false);
        gRepeats += number == gLastNumber.exchange(number) ? 1 : 0;
    }
    ++gCalls;
    Sleep(gCallbackMs);
}

void OnSecondFrame(unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {
    ++gSecondCalls;
}

void OnError() {
    ++gErrors;
}

bool WaitFor(const std::atomic<int>& count, int target) {
    for (DWORD start = GetTickCount(); count < target; Sleep(5)) {
        if (GetTickCount() - start > 20000) {
            return false;
        }
    }
    return true;
}

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

class Hardening : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_fps(50);
        const SimCamera cam = sim_camera("H1", 1, 2, 64, 48);
        sim_add_camera(&cam);
    }
    int32_t Start(TrvFrameCallback onFrame = &OnFrame) {
        block = trvtest::StartBlock(settings.configDir, onFrame, &OnError);
        return host.Cmd(_TRV_DSHOW_CMD_START, &block);
    }
    trvtest::HostSettings settings;
    trvtest::PluginHost host;
    TrvStartParams block = {};
};

TEST_F(Hardening, SecondStartUpKeepsTheRunningCameraThread) {
    ASSERT_EQ(Start(), 1);
    ASSERT_TRUE(WaitFor(gCalls, 2));
    TrvFrameCallback none = nullptr;
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_FRAME_CALLBACK, &none), 1);
    host.TakeLog();
    ASSERT_EQ(Start(&OnSecondFrame), 1);
    EXPECT_EQ(block.nSizeX, 64);
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Has(log, "**** TrvCmd: _TRV_DSHOW_CMD_START date=")) << log;
    EXPECT_TRUE(Has(log, "**** TrvCmd: section=video\n**** TrvCmd: camera thread already "
                         "running\n"))
        << log;
    EXPECT_FALSE(Has(log, "Init1") || Has(log, "uEueCamThread1") || Has(log, "MyLoad")) << log;
    EXPECT_TRUE(WaitFor(gSecondCalls, 2)) << "frames go to the new callback";
}

TEST_F(Hardening, StartWaitsForItsOwnThreadPastAStaleReadySignal) {
    // Left signalled by an earlier start that timed out, here or in another process.
    HANDLE stale = CreateEventW(nullptr, FALSE, TRUE, L"TRV_UEYE_EVENT");
    sim_set_init_delay_ms(1500);
    ASSERT_EQ(Start(), 1);
    EXPECT_EQ(block.nSizeX, 64) << "START returned before its camera was loaded";
    CloseHandle(stale);
}

TEST_F(Hardening, SensorInformationOfOneKibibyteLeavesTheRecordWhole) {
    ASSERT_EQ(sim_configure(0, "sensor_info_bytes", "1024"), 0);
    ASSERT_EQ(Start(), 1);
    EXPECT_EQ(block.nSizeX, 64);
    ASSERT_TRUE(WaitFor(gCalls, 3));
    EXPECT_EQ(gBad, 0);
}

TEST_F(Hardening, SettingsPathThatDoesNotFitUsesDefaultsAndIsLoggedOncePerStart) {
    // Where a bare relative name would be read: the Windows folder, or the current folder.
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring folders[] = {std::wstring(windows) + L"\\Settings", L"Settings"};
    for (const std::wstring& f : folders) {
        CreateDirectoryW(f.c_str(), nullptr);
        WritePrivateProfileStringW(L"video", L"CamSN_Wait", L"7", (f + L"\\Tarvello.ini").c_str());
    }
    SetEnvironmentVariableW(L"TRV_SETTINGS", std::wstring(1023, L'h').c_str());
    ASSERT_EQ(Start(), 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, -1), 1);
    const std::string log = host.TakeLog();
    const std::string line = "GetSettingsPath: settings folder path too long\n";
    EXPECT_TRUE(Has(log, "***** UEYECAM Init3 waiting 60...\n")) << log;
    EXPECT_TRUE(Has(log, line) && log.find(line) == log.rfind(line)) << log;
    for (const std::wstring& f : folders) {
        DeleteFileW((f + L"\\Tarvello.ini").c_str());
        RemoveDirectoryW(f.c_str());
    }
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

} // namespace
