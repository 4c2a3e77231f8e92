// Several cameras loaded from the host settings, the live stream switched between them, and one
// camera switched between parameter configurations, through the real export.
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
using trvtest::HasInOrder;

class Streams : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_fps(50);
    }
    void TearDown() override { EXPECT_EQ(trvtest::gFrames.bad, 0u); }
    void AddCamera(const char* serial, uint32_t device, uint32_t w, uint32_t h) {
        const SimCamera c = sim_camera(serial, device, 2, w, h);
        sim_add_camera(&c);
    }
    TrvStartParams Start() {
        EXPECT_TRUE(host.loaded());
        TrvStartParams b = trvtest::StartBlock(settings.configDir);
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &b), 1);
        return b;
    }
    trvtest::HostSettings settings;
    trvtest::PluginHost host;
};

TEST_F(Streams, SwitchBetweenConfiguredCameras) {
    AddCamera("SN2", 2, 40, 30);
    AddCamera("SN5", 5, 80, 60);
    ASSERT_EQ(sim_configure(1, "exposure_range", "0.01 500 0.01"), 0);
    settings.Set(L"MaxExposureMs", L"1"); // above camera 5's maximum only
    settings.Set(L"CamSN_Max", L"1001");
    settings.Set(L"CamSN_2", L"SN2");
    const std::wstring longSerial(256, L's');
    settings.Set(L"CamSN_3", longSerial.c_str());
    settings.Set(L"CamSN_5", L"SN5");
    settings.Set(L"CamSN_1001", L"SN5");
    const TrvStartParams block = Start();
    EXPECT_EQ(block.nSizeX, 40) << "the lowest configured id is current";
    std::string log;
    ASSERT_TRUE(trvtest::WaitFor([&] { return Has(log += host.TakeLog(), "uEueCamThread3"); }));
    const std::string serial255(255, 's');
    for (const std::string& piece : std::vector<std::string>{
             "MyLoadMultiple maxCams=1001\nMyLoadMultiple maxCams limited to 1000\n",
             "KEY=CamSN_2 SERNO=SN2\n", "KEY=CamSN_3 SERNO=" + serial255 + "\n",
             "UEYE ERROR: Unble to find camera " + serial255 + "\n", "KEY=CamSN_5 SERNO=SN5\n",
             "MyLoadMultiple key=CamSN_1000\n", "MyLoadMultiple gMyCams.size()=3\n",
             "GetExposure max override ed.dMax=1000 dblRange[1]=500\n"}) {
        EXPECT_TRUE(Has(log, piece)) << piece;
    }
    EXPECT_EQ(trvtest::CountOf(log, "GetExposure max override"), 1u) << "not for an equal maximum";
    EXPECT_FALSE(Has(log, "CamSN_1001"));
    EXPECT_FALSE(Has(log, "MyLoadSingle"));
    EXPECT_FALSE(Has(log, "streaming live video")) << "configured cameras start not live";

    const std::string head = " gCamShareConfig=0 gCurCamConfigId=4294967295\n";
    struct Row {
        int32_t id;
        const char* fps5;  // camera 5's rate for this row, or null
        const char* fault; // a call of camera `faulty` that fails once, or null
        int faulty;
        std::vector<std::string> pieces; // of the log, in order
        const char* frames;              // size of the next frames, or null
        int minTime;                     // the wait's least duration, ms
    };
    const Row rows[] = {
        {9,
         nullptr,
         nullptr,
         0,
         {"MySetStreamId camId = 9" + head + "MySetStreamId unable to find camId\n"},
         nullptr,
         0},
        {42,
         nullptr,
         nullptr,
         0,
         {"MyResetConfig load new config\nMyResetConfig multicam config\n"},
         nullptr,
         0},
        {2,
         nullptr,
         nullptr,
         0,
         {"MySetStreamId found i = 0\nMySetStreamId starting new...\n",
          "MySetStreamId success t=", " count=", "\nMySetStreamId finished\n"},
         "40x30",
         0},
        // At one frame a second the five frames take about four seconds, within the 20 s wait.
        // Each of those frames writes a slow-frame line whose pieces may fall inside the
        // switch's last line: its time and count are not read.
        {5,
         "1",
         nullptr,
         0,
         {"MySetStreamId found i = 2\nMySetStreamId stopping current...\n"
          "MySetStreamId starting new...\nMySetStreamId waiting for image...\n",
          "MySetStreamId success t="},
         "80x60",
         3000},
        {2,
         "50",
         "is_StopLiveVideo",
         1,
         {"MySetStreamId stopping current...\n***** UEYECAM is_StopLiveVideo failure: 5\n",
          "MySetStreamId success t="},
         "40x30",
         0},
        {5,
         nullptr,
         "is_CaptureVideo",
         1,
         {"MySetStreamId starting new...\n***** UEYECAM is_CaptureVideo failure: 5\n"
          "IS_CAP_STATUS_COUNT: 0\nMySetStreamId waiting for image...\nMySetStreamId finished\n"},
         nullptr,
         0},
        // A frame of camera 2 seen last makes the wait fail.
        {5,
         "1",
         "frame of camera 2",
         0,
         {"MySetStreamId success first frame t=", "MySetStreamId fail t="},
         nullptr,
         0},
        {2, "50", nullptr, 0, {"MySetStreamId success t="}, "40x30", 0},
        // A camera that posts nothing: the first frame is awaited 2 s, then no settling.
        {5,
         nullptr,
         "stalled",
         1,
         {"MySetStreamId success first frame t=", "MySetStreamId fail t=", " count=0\n"},
         nullptr,
         2000},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.id) + " " + (r.fault != nullptr ? r.fault : ""));
        host.TakeLog();
        sim_journal_clear();
        if (r.fps5 != nullptr) {
            ASSERT_EQ(sim_configure(1, "fps", r.fps5), 0);
        }
        const std::string fault = r.fault != nullptr ? r.fault : "";
        if (fault == "stalled") {
            ASSERT_EQ(sim_configure(r.faulty, "stalled", "1"), 0);
        } else if (r.fault != nullptr && fault.rfind("is_", 0) == 0) {
            sim_fail_camera(r.faulty, r.fault, 5, 1);
        }
        // Camera 2 posts a frame once camera 5's first frame has ended the first wait.
        std::string seen;
        std::thread other([&] {
            if (fault == "frame of camera 2" &&
                trvtest::WaitFor([&] { return Has(seen += host.TakeLog(), "first frame t="); })) {
                sim_post_event(0, 0, 0, -1, 0);
            }
        });
        const DWORD start = GetTickCount();
        const int32_t result =
            r.id == 42 ? host.Cmd(42, L"other.ini") : host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, r.id);
        const DWORD spent = GetTickCount() - start;
        other.join();
        EXPECT_EQ(result, 1);
        log = seen + host.TakeLog();
        for (const std::string& piece : r.pieces) {
            EXPECT_TRUE(HasInOrder(log, {piece})) << piece << "\n" << log;
        }
        EXPECT_TRUE(HasInOrder(log, r.pieces)) << log;
        EXPECT_GE(static_cast<int>(spent), r.minTime);
        if (r.minTime > 0 && r.fault != nullptr) {
            EXPECT_GE(trvtest::NumberAfter(log, "fail t="), r.minTime);
        }
        if (r.frames != nullptr) {
            EXPECT_EQ(trvtest::NextFrames(3), r.frames);
        }
        if (r.id == 2 && r.fault == nullptr && r.fps5 == nullptr) {
            // Five events end the wait; more may come before the count is logged.
            EXPECT_GE(trvtest::NumberAfter(log, " count="), 5) << log;
        }
        if (r.id == 9 || r.id == 42) {
            EXPECT_TRUE(trvtest::Journal().empty()) << "the cameras are not touched";
        }
        if (r.id == 5 && r.fault == nullptr) {
            const std::vector<std::string> j = trvtest::Journal();
            ASSERT_GE(j.size(), 2u);
            EXPECT_EQ(j[0], "is_StopLiveVideo hCam=1 wait=1 -> 0");
            EXPECT_EQ(j[1], "is_CaptureVideo hCam=2 wait=1 -> 0");
            // The current camera again: nothing stopped or started, the count goes on.
            sim_journal_clear();
            ASSERT_EQ(sim_configure(1, "fps", "50"), 0);
            ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 5), 1);
            EXPECT_TRUE(trvtest::Journal().empty());
            const std::string same = host.TakeLog();
            EXPECT_FALSE(Has(same, "stopping current") || Has(same, "starting new")) << same;
            EXPECT_GT(trvtest::NumberAfter(same, " count="), 5) << same;
        }
    }
    EXPECT_EQ(trvtest::FramesDuring(300), 0u) << "the silent camera is current";
    ASSERT_EQ(sim_configure(1, "stalled", "0"), 0);
    EXPECT_EQ(trvtest::NextFrames(3), "80x60") << "once it posts again, without another switch";
}

TEST_F(Streams, OneCameraSwitchedBetweenConfigurations) {
    AddCamera("A", 1, 64, 48);
    settings.Set(L"CamShareConfig", L"1");
    settings.Set(L"CamShareLast", L"3");
    settings.WriteConfigFile(L"ueyecam_3.ini", "[sim-camera-parameters]\naoi=0 0 32 16\n");
    settings.WriteConfigFile(L"ueyecam_5.ini", "[sim-camera-parameters]\naoi=0 0 48 24\n");
    settings.WriteConfigFile(L"ueyecam_7.ini", "not a parameter file\n");
    Start();
    EXPECT_EQ(trvtest::NextFrames(3), "32x16") << "the configuration of the last run";
    const std::string dir = ToUtf8(settings.configDir);
    struct Row {
        int32_t id;
        std::string log;  // a piece of it
        const char* last; // CamShareLast afterwards
        const char* frames;
    };
    const Row rows[] = {
        {3, "MySetStreamId camId = 3 gCamShareConfig=1 gCurCamConfigId=3\n", "3", nullptr},
        {5,
         "MySetStreamId camId = 5 gCamShareConfig=1 gCurCamConfigId=3\nMySetStreamId load new "
         "config\n"
         "MyReloadFile1 file=" +
             dir + "ueyecam_5.ini found=1\nLoadFile Param File loaded: " + dir + "ueyecam_5.ini\n",
         "5", "48x24"},
        {4, "LoadFile Param File NOT loaded: " + dir + "ueyecam_4.ini\n", "5", "48x24"},
        {7, "found=1\nLoadFile Param File NOT loaded: " + dir + "ueyecam_7.ini\n", "5", "48x24"},
        // A new default file while a configuration is active loads the configuration's file.
        {-42, "MyReloadFile1 file=" + dir + "ueyecam_7.ini", "5", "48x24"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        host.TakeLog();
        sim_journal_clear();
        EXPECT_EQ(r.id == -42 ? host.Cmd(42, L"other.ini")
                              : host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, r.id),
                  1);
        const std::string log = host.TakeLog();
        EXPECT_TRUE(Has(log, r.log)) << log;
        EXPECT_EQ(ToUtf8(settings.Get(L"CamShareLast")), r.last);
        if (r.frames != nullptr) {
            EXPECT_EQ(trvtest::NextFrames(3), r.frames);
        } else {
            EXPECT_TRUE(trvtest::Journal().empty()) << "the same id again touches nothing";
        }
    }
}

} // namespace
