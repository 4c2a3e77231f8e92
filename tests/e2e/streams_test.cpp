// Several cameras loaded from the host settings and the live stream switched between them,
// through the real export.
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
    settings.Set(L"CamSN_2", L"SN2");
    settings.Set(L"CamSN_5", L"SN5");
    const TrvStartParams block = Start();
    EXPECT_EQ(block.nSizeX, 40) << "the lowest configured id is current";
    std::string log;
    ASSERT_TRUE(trvtest::WaitFor([&] { return Has(log += host.TakeLog(), "uEueCamThread3"); }));
    EXPECT_FALSE(Has(log, "streaming live video")) << "configured cameras start not live";

    // Frames from the camera thread as the host sees them; failures are rows elsewhere.
    struct Row {
        int32_t id;
        const char* fps5;                // camera 5's rate for this row, or null
        bool otherFrame;                 // camera 2 posts a frame once 5's first frame came
        std::vector<std::string> pieces; // of the log, in order
        const char* frames;              // size of the next frames, or null
        int minTime;                     // the wait's least duration, ms
    };
    const Row rows[] = {
        {2,
         nullptr,
         false,
         {"MySetStreamId found i = 0\nMySetStreamId starting new...\n",
          "MySetStreamId success t=", "MySetStreamId finished\n"},
         "40x30",
         0},
        // At one frame a second the five frames take about four seconds, within the 20 s wait.
        // Each of those frames writes a slow-frame line whose pieces may fall inside the
        // switch's last line: its time and count are not read.
        {5,
         "1",
         false,
         {"MySetStreamId found i = 1\nMySetStreamId stopping current...\n"
          "MySetStreamId starting new...\nMySetStreamId waiting for image...\n",
          "MySetStreamId success t="},
         "80x60",
         3000},
        {2, "50", false, {"MySetStreamId success t="}, "40x30", 0},
        // A frame of camera 2 seen last makes the wait fail.
        {5,
         "1",
         true,
         {"MySetStreamId success first frame t=", "MySetStreamId fail t="},
         nullptr,
         0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.id) + (r.otherFrame ? " and a frame of camera 2" : ""));
        host.TakeLog();
        sim_journal_clear();
        if (r.fps5 != nullptr) {
            ASSERT_EQ(sim_configure(1, "fps", r.fps5), 0);
        }
        std::string seen;
        std::thread other([&] {
            if (r.otherFrame &&
                trvtest::WaitFor([&] { return Has(seen += host.TakeLog(), "first frame t="); })) {
                sim_post_event(0, 0, 0, -1, 0);
            }
        });
        const DWORD start = GetTickCount();
        const int32_t result = host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, r.id);
        const DWORD spent = GetTickCount() - start;
        other.join();
        EXPECT_EQ(result, 1);
        log = seen + host.TakeLog();
        EXPECT_TRUE(HasInOrder(log, r.pieces)) << log;
        EXPECT_GE(static_cast<int>(spent), r.minTime);
        if (r.id == 2 && r.fps5 == nullptr) {
            // Frames that queued up while the command ran are counted at once: 5 or more.
            EXPECT_GE(trvtest::NumberAfter(log, " count="), 5) << log;
        }
        if (r.frames != nullptr) {
            EXPECT_EQ(trvtest::NextFrames(3), r.frames);
        }
        if (r.id == 5 && !r.otherFrame) {
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
}

} // namespace
