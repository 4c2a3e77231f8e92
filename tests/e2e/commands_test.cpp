// The camera commands through the real export: focus, exposure, timing, area of interest,
// stream switching and configuration reset.
#include "infra/trv_params.h"
#include "frame_recorder.h"
#include "host_settings.h"
#include "log_text.h"
#include "plugin_host.h"
#include "sim_control.h"

#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using trvtest::Calls;
using trvtest::Journal;

using trvtest::PluginHost;

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

class Commands : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_fps(50);
        trvtest::ResetFrameRecord();
    }
    void TearDown() override {
        EXPECT_EQ(trvtest::gFrameRecord.bad, 0u) << "frames of the wrong size or pattern";
    }
    std::string Query(int index, const char* key) { return trvtest::SimQuery(index, key); }
    std::wstring WriteConfigFile(const std::wstring& name, const std::string& text) {
        return settings.WriteConfigFile(name, text);
    }
    std::string Setting(const wchar_t* key) { return ToUtf8(settings.Get(key)); }
    std::string ConfigDir() { return ToUtf8(settings.configDir); }
    void Setting(const wchar_t* key, const wchar_t* value) { settings.Set(key, value); }
    void Trigger(const wchar_t* value) { settings.Trigger(value); }
    void AddCamera(const char* serial, uint32_t device, uint32_t w = 64, uint32_t h = 48) {
        SimCamera c = {};
        std::memcpy(c.serial, serial, std::min<size_t>(std::strlen(serial), 16));
        c.cameraId = device;
        c.deviceId = device;
        c.colorKind = 2;
        c.maxWidth = w;
        c.maxHeight = h;
        sim_add_camera(&c);
    }
    void Start(int32_t focusType = 3, bool live = true) {
        ASSERT_TRUE(host.loaded());
        TrvStartParams b = {};
        b.frameCallback = &trvtest::RecordFrame;
        b.pszConfigDir = settings.configDir.c_str();
        b.nFocusType = focusType;
        ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &b), 1);
        // The first frame of a live camera writes its slow-frame line on the camera thread;
        // let it pass so that it does not cut into the lines the test compares.
        for (int i = 0; live && i < 300 && sim_frames_posted(0) < 3; ++i) {
            Sleep(10);
        }
        Sleep(50);
        host.TakeLog();
        sim_journal_clear();
    }

    trvtest::HostSettings settings;
    PluginHost host;
};

TEST_F(Commands, WithoutCameraTheCommandsAnswerAsSpecified) {
    ASSERT_TRUE(host.loaded());
    TrvAoiParams aoi = {2, 1, 2, 3, 4, 5};
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_AOI, &aoi), 0);
    aoi.nMode = 1;
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_AOI, &aoi), 0);
    TrvTimingParams t = {-1.0, -2.0};
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_GET_TIMING, &t), 1);
    EXPECT_EQ(t.dFrameRate, -1.0) << "the block is left as the host filled it";
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_EXPOSURE, 50), 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 50), 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"x.ini")), 0);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP_FOCUS), 1);
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Has(log, "MySetStreamId camId = 50 gCamShareConfig=0 gCurCamConfigId=4294967295\n"
                         "MySetStreamId unable to find camId\n"))
        << log;
    EXPECT_TRUE(Has(log, "MyResetConfig load new config\nMyResetConfig no camera loaded\n"));
    EXPECT_TRUE(Has(log, "StartFocus BEGIN\nStartFocus END\nStopFocus BEGIN\nStopFocus END\n"));
}

TEST_F(Commands, SharedCameraBranchWithoutCameraOnlyLogs) {
    ASSERT_TRUE(host.loaded());
    Setting(L"CamShareConfig", L"1");
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 3), 1);
    EXPECT_EQ(host.TakeLog(),
              "MySetStreamId camId = 3 gCamShareConfig=1 gCurCamConfigId=4294967295\n"
              "MySetStreamId no camera loaded\n");
    EXPECT_TRUE(Journal().empty());
}

TEST_F(Commands, ExposurePercentMapsOntoTheRange) {
    Setting(L"MaxExposureMs", L"1");
    AddCamera("A", 1);
    Start();
    // Range: minimum 0.01 ms from the camera, maximum 1 x 1000 = 1000 ms (the camera's).
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_EXPOSURE, 50), 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_EXPOSURE, 150), 1);
    const std::vector<std::string> sets = Calls("is_Exposure");
    ASSERT_EQ(sets.size(), 2u);
    // The camera applies at most one frame period: 20 ms at 50 frames a second.
    EXPECT_TRUE(Has(sets[0], "cmd=12 size=8 value=500.005 -> 0 out=20")) << sets[0];
    EXPECT_TRUE(Has(sets[1], "cmd=12 size=8 value=1499.995 -> 0 out=20")) << sets[1];
    EXPECT_TRUE(Has(host.TakeLog(), "SetExposure: Setting Exposure value=50 time=500.005\n"));
    TrvTimingParams t = {};
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_GET_TIMING, &t), 1);
    EXPECT_EQ(t.dFrameRate, 50.0);
    EXPECT_EQ(t.dExposure, 20.0);
}

TEST_F(Commands, ExposureWithoutConfiguredMaximumDoesNothing) {
    AddCamera("A", 1);
    Start();
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_EXPOSURE, 50), 1);
    EXPECT_TRUE(Calls("is_Exposure").empty());
    EXPECT_FALSE(Has(host.TakeLog(), "SetExposure"));
}

TEST_F(Commands, FocusTypesAndTriggerKey) {
    AddCamera("A", 1);
    Start(1);
    // Focus type 1 from the start block: "trigger" decides, default strobe out.
    Trigger(nullptr);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    std::vector<std::string> io = Calls("is_IO");
    ASSERT_EQ(io.size(), 1u);
    EXPECT_EQ(io[0], "is_IO hCam=1 cmd=20 size=4 bytes=02000000 -> 0");
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Has(log, "StartFocus BEGIN\nUEYE MyStrobeEnable focusType=1 defType=1\n")) << log;
    EXPECT_TRUE(Has(log, "UEYE triggerType=1\nUEYE setting strobe out: 2\n"
                         "UEYE focus config success: 0\n"));
    EXPECT_TRUE(Has(log, "supported=IS_SET_TRIGGER_PRE_LO_HI\n"));
    sim_journal_clear();
    Trigger(L"3");
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    EXPECT_EQ(Calls("is_TriggerMode")[0], "is_TriggerMode hCam=1 mode=0x1002 -> 0");
    Trigger(L"2");
    sim_journal_clear();
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    EXPECT_EQ(Calls("is_TriggerMode")[0], "is_TriggerMode hCam=1 mode=0x1001 -> 0");
    // The undo is the same whatever the enable did: strobe off, software trigger.
    sim_journal_clear();
    host.TakeLog();
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP_FOCUS), 1);
    io = Calls("is_IO");
    ASSERT_EQ(io.size(), 1u);
    EXPECT_EQ(io[0], "is_IO hCam=1 cmd=20 size=4 bytes=00000000 -> 0");
    const std::vector<std::string> modes = Calls("is_TriggerMode");
    EXPECT_TRUE(std::find(modes.begin(), modes.end(), "is_TriggerMode hCam=1 mode=0x1008 -> 0") !=
                modes.end());
    EXPECT_TRUE(Has(host.TakeLog(), "StopFocus BEGIN\nMyStrobeDisable\nMyStrobeDisable1 live="));
}

TEST_F(Commands, FocusTypeTwoDefaultsToHighToLowTrigger) {
    AddCamera("A", 1);
    Start(2);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    ASSERT_FALSE(Calls("is_TriggerMode").empty());
    EXPECT_EQ(Calls("is_TriggerMode")[0], "is_TriggerMode hCam=1 mode=0x1001 -> 0");
    EXPECT_TRUE(Has(host.TakeLog(), "UEYE MyStrobeEnable focusType=2 defType=2\n"));
}

TEST_F(Commands, FreeRunFocusTouchesNoCamera) {
    AddCamera("A", 1);
    Start(3);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP_FOCUS), 1);
    EXPECT_TRUE(Calls("is_TriggerMode").empty());
    EXPECT_TRUE(Calls("is_IO").empty());
    EXPECT_EQ(host.TakeLog(), "StartFocus BEGIN\nStartFocus END\nStopFocus BEGIN\nStopFocus END\n");
}

TEST_F(Commands, FocusLockHeldElsewhereMakesTheCommandDoNothing) {
    AddCamera("A", 1);
    Start(1);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = L"\"" + trvtest::OwnFolder() + L"mutex_holder.exe\" FOCUS_LOCK 2500";
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, L"FOCUS_LOCK_HELD");
    ASSERT_EQ(WaitForSingleObject(held, 20000), WAIT_OBJECT_0);
    const DWORD start = GetTickCount();
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    const DWORD spent = GetTickCount() - start;
    EXPECT_GE(spent, 900u) << "waited for the mutex";
    EXPECT_LT(spent, 2400u) << "but not until the other holder let go";
    EXPECT_EQ(host.TakeLog(), "") << "a timed-out wait does nothing and logs nothing";
    EXPECT_TRUE(Calls("is_IO").empty());
    WaitForSingleObject(pi.hProcess, 20000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(held);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    EXPECT_TRUE(Has(host.TakeLog(), "StartFocus BEGIN\n")) << "the kept handle works next time";
}

TEST_F(Commands, StreamSwitchToAnUnknownIdAndResetWithSeveralCameras) {
    AddCamera("SN2", 2, 40, 30);
    AddCamera("SN5", 5, 80, 60);
    Setting(L"CamSN_2", L"SN2");
    Setting(L"CamSN_5", L"SN5");
    Start(3, false);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 9), 1);
    EXPECT_EQ(host.TakeLog(),
              "MySetStreamId camId = 9 gCamShareConfig=0 gCurCamConfigId=4294967295\n"
              "MySetStreamId unable to find camId\n");
    EXPECT_TRUE(Journal().empty());
    // Resetting the configuration with several cameras changes nothing.
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"other.ini")), 1);
    EXPECT_EQ(host.TakeLog(), "MyResetConfig load new config\nMyResetConfig multicam config\n");
}

TEST_F(Commands, ResetConfigSameNameInOtherCaseAndANewFile) {
    AddCamera("A", 1);
    Start();
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"UEYECAM.INI")), 1);
    EXPECT_EQ(host.TakeLog(), "MyResetConfig load new config\nMyResetConfig same config\n");
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"other.ini")), 1);
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Has(log, "MyReloadFile2 file=") && Has(log, "other.ini found=0\n")) << log;
    EXPECT_TRUE(Has(log, "MyResetConfig is_CaptureVideo... retval=1\nMyResetConfig complete\n"));
    const std::wstring tooLong(300, L'n');
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(tooLong.c_str())),
              0);
    EXPECT_TRUE(Has(host.TakeLog(), "MyResetConfig name missing or longer than 259 characters\n"));
}

class StreamSwitch : public Commands {
  protected:
    // Cameras 2 (40 x 30) and 5 (80 x 60), configured by CamSN_2 and CamSN_5.
    void StartTwo() {
        AddCamera("SN2", 2, 40, 30);
        AddCamera("SN5", 5, 80, 60);
        Setting(L"CamSN_2", L"SN2");
        Setting(L"CamSN_5", L"SN5");
        Start(3, false);
    }
};

TEST_F(StreamSwitch, FromTwoToFiveThenToTheCurrentCamera) {
    StartTwo();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 2), 1);
    EXPECT_EQ(trvtest::NextFrames(3), "40x30");
    host.TakeLog();
    sim_journal_clear();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 5), 1);
    EXPECT_EQ(Query(0, "live"), "0") << "camera 2 stopped";
    EXPECT_EQ(Query(1, "live"), "1") << "camera 5 started";
    const std::vector<std::string> j = Journal();
    ASSERT_GE(j.size(), 2u);
    EXPECT_EQ(j[0], "is_StopLiveVideo hCam=1 wait=1 -> 0");
    EXPECT_EQ(j[1], "is_CaptureVideo hCam=2 wait=1 -> 0");
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Has(log, "MySetStreamId camId = 5 gCamShareConfig=0 gCurCamConfigId=4294967295\n"
                         "MySetStreamId found i = 1\nMySetStreamId stopping current...\n"
                         "MySetStreamId starting new...\nMySetStreamId waiting for image...\n"))
        << log;
    EXPECT_EQ(trvtest::NumberAfter(log, " count="), 5)
        << "the count starts again and ends the wait at 5";
    EXPECT_TRUE(Has(log, "MySetStreamId success t=")) << log;
    EXPECT_TRUE(Has(log, "MySetStreamId finished\n"));
    EXPECT_EQ(trvtest::NextFrames(3), "80x60");

    // The current camera again: nothing stopped or started, the count goes on, still a wait.
    sim_journal_clear();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 5), 1);
    EXPECT_TRUE(Journal().empty()) << Journal()[0];
    const std::string same = host.TakeLog();
    EXPECT_FALSE(Has(same, "stopping current"));
    EXPECT_FALSE(Has(same, "starting new"));
    EXPECT_TRUE(Has(same, "MySetStreamId success t=")) << same;
    EXPECT_GT(trvtest::NumberAfter(same, " count="), 5) << "not reset";
    EXPECT_EQ(trvtest::NextFrames(2), "80x60");
}

TEST_F(StreamSwitch, NoFrameWithinTwoSecondsFails) {
    StartTwo();
    ASSERT_EQ(sim_configure(1, "stalled", "1"), 0);
    const DWORD start = GetTickCount();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 5), 1);
    const DWORD spent = GetTickCount() - start;
    EXPECT_GE(spent, 1990u);
    EXPECT_LT(spent, 15000u) << "the settle wait is skipped";
    const std::string log = host.TakeLog();
    EXPECT_GE(trvtest::NumberAfter(log, "MySetStreamId success first frame t="), 2000) << log;
    EXPECT_GE(trvtest::NumberAfter(log, "MySetStreamId fail t="), 2000) << log;
    EXPECT_EQ(trvtest::NumberAfter(log, " count="), 0);
    EXPECT_TRUE(Has(log, " count=0\nMySetStreamId finished\n"));
}

TEST_F(StreamSwitch, CameraThatFailsToStartIsNotWaitedFor) {
    StartTwo();
    sim_fail_camera(1, "is_CaptureVideo", 108, 1);
    // The counters only: an event code the plug-in never enabled is not posted.
    ASSERT_EQ(sim_post_event(1, 99, 1, 0xB2, 1), -1);
    const DWORD start = GetTickCount();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 5), 1);
    EXPECT_LT(GetTickCount() - start, 1500u);
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Has(log,
                    "MySetStreamId starting new...\n***** UEYECAM is_CaptureVideo failure: 108\n"
                    "IS_CAP_STATUS_COUNT: 1\nIS_CAP_STATUS_DRV_OUT_OF_BUFFERS: 1\n"
                    "MySetStreamId waiting for image...\nMySetStreamId finished\n"))
        << log;
    EXPECT_EQ(Query(1, "live"), "0");
    // The next switch to it starts it: the record stayed not live.
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 5), 1);
    EXPECT_TRUE(Has(host.TakeLog(), "MySetStreamId starting new...\n"));
    EXPECT_EQ(trvtest::NextFrames(2), "80x60");
}

class SharedCamera : public Commands {
  protected:
    void SetUp() override {
        Commands::SetUp();
        AddCamera("A", 1, 64, 48);
        Setting(L"CamShareConfig", L"1");
        WriteConfigFile(L"ueyecam_3.ini", "[sim-camera-parameters]\naoi=0 0 32 16\n");
        WriteConfigFile(L"other.ini", "[sim-camera-parameters]\naoi=0 0 48 24\n");
    }
};

TEST_F(SharedCamera, SwitchingConfigurationsReloadsTheCamera) {
    Start();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 3), 1);
    const std::string log = host.TakeLog();
    const std::string file = ConfigDir() + "ueyecam_3.ini";
    EXPECT_TRUE(Has(log, "MySetStreamId camId = 3 gCamShareConfig=1 gCurCamConfigId=4294967295\n"
                         "MySetStreamId load new config\nMyReloadFile1 file=" +
                             file + " found=1\nLoadFile Param File loaded: " + file + "\n"))
        << log;
    EXPECT_TRUE(Has(log, "MyReloadFile m_nSizeX=32 m_nSizeY=16 ret=0\nMyReloadFile Enable\n"
                         "MyReloadFile Trigger\nMyReloadFile success\n"
                         "MySetStreamId is_CaptureVideo...\nMySetStreamId success1\n"))
        << log;
    EXPECT_EQ(Setting(L"CamShareLast"), "3");
    EXPECT_EQ(trvtest::NextFrames(3), "32x16");

    // The same id again: one line and nothing else.
    sim_journal_clear();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 3), 1);
    EXPECT_EQ(host.TakeLog(), "MySetStreamId camId = 3 gCamShareConfig=1 gCurCamConfigId=3\n");
    EXPECT_TRUE(Journal().empty());

    // An id without a file: not loaded, the camera keeps its parameters, CamShareLast stays.
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 4), 1);
    const std::string missing = host.TakeLog();
    EXPECT_TRUE(Has(missing, "LoadFile Param File NOT loaded: " + ConfigDir() + "ueyecam_4.ini\n"))
        << missing;
    EXPECT_TRUE(Has(missing, "MySetStreamId success1\n"));
    EXPECT_EQ(Setting(L"CamShareLast"), "3");
    EXPECT_EQ(trvtest::NextFrames(3), "32x16");

    // A new default file while a configuration is active loads the configuration's file.
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"other.ini")), 1);
    EXPECT_TRUE(Has(host.TakeLog(), "MyReloadFile1 file=" + ConfigDir() + "ueyecam_4.ini"));
}

TEST_F(SharedCamera, ConfigurationOfTheLastRunIsLoadedAtStart) {
    Setting(L"CamShareLast", L"3");
    Start();
    EXPECT_EQ(trvtest::gFrameRecord.width.load(), 32) << "opened with ueyecam_3.ini";
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 3), 1);
    EXPECT_EQ(host.TakeLog(), "MySetStreamId camId = 3 gCamShareConfig=1 gCurCamConfigId=3\n");
}

TEST_F(Commands, ResetConfigLoadsANewDefaultFileAndRemembersMinusOne) {
    AddCamera("A", 1, 64, 48);
    WriteConfigFile(L"other.ini", "[sim-camera-parameters]\naoi=0 0 48 24\n");
    Start();
    EXPECT_EQ(trvtest::NextFrames(2), "64x48");
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"other.ini")), 1);
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Has(log, "MyReloadFile2 file=" + ConfigDir() +
                             "other.ini found=1\n"
                             "LoadFile Param File loaded: " +
                             ConfigDir() + "other.ini\n"))
        << log;
    EXPECT_TRUE(Has(log, "MyResetConfig is_CaptureVideo... retval=1\nMyResetConfig complete\n"));
    EXPECT_EQ(Setting(L"CamShareLast"), "-1") << "no configuration id was ever set";
    EXPECT_EQ(trvtest::NextFrames(3), "48x24");
    DeleteFileW((settings.configDir + L"other.ini").c_str());
    // A live start that fails makes the command answer 0.
    sim_fail("is_CaptureVideo", 108, 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"third.ini")), 0);
    EXPECT_TRUE(Has(host.TakeLog(), "MyResetConfig is_CaptureVideo failure: 108\n"
                                    "IS_CAP_STATUS_COUNT: "));
}

TEST_F(Commands, AreaOfInterestWorkedExampleThroughTheCommand) {
    AddCamera("A", 1, 2048, 1536);
    sim_set_fps(20);
    Start();
    EXPECT_EQ(trvtest::NextFrames(1), "2048x1536");
    TrvAoiParams set = {1, 101, 51, -7, 1002, 503};
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_AOI, &set), 1);
    EXPECT_EQ(set.x, 102);
    EXPECT_EQ(set.y, 50);
    EXPECT_EQ(set.unused12, -7) << "bytes 12 to 15 are not written";
    EXPECT_EQ(set.width, 1000);
    EXPECT_EQ(set.height, 502);
    EXPECT_EQ(Query(0, "aoi"), "102 50 1000 502");
    const std::vector<std::string> j = Journal();
    EXPECT_EQ(j.front(), "is_StopLiveVideo hCam=1 wait=16384 -> 0");
    EXPECT_EQ(j.back(), "is_CaptureVideo hCam=1 wait=1 -> 0");
    EXPECT_EQ(trvtest::NextFrames(3), "1000x502") << "frames of the new size afterwards";
    TrvAoiParams get = {2, 0, 0, 0, 0, 0};
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_AOI, &get), 1);
    EXPECT_EQ(get.x, 102);
    EXPECT_EQ(get.height, 502);
    TrvAoiParams reset = {0, 5, 5, 0, 5, 5};
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_AOI, &reset), 1);
    EXPECT_EQ(reset.width, 2048);
    EXPECT_EQ(trvtest::NextFrames(2), "2048x1536");
    sim_fail("is_AOI:2", 125, 1);
    TrvAoiParams failed = {2, 1, 2, 3, 4, 5};
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_AOI, &failed), 0);
    EXPECT_EQ(failed.width, 4);
}

} // namespace
