// Camera events through the real export: the camera thread reports each to the host's error
// callback after its log lines, outside every lock, and the plug-in goes on answering the host.
#include "e2e_host.h"
#include "host_settings.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using trvtest::Calls;
using trvtest::Has;

class Faults : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_fps(50);
        const SimCamera c = sim_camera("A", 1, 2, 64, 48);
        sim_add_camera(&c);
    }
    void TearDown() override { EXPECT_EQ(trvtest::gFrames.bad, 0u); }
    void Start(TrvErrorCallback onError) {
        ASSERT_TRUE(host.loaded());
        TrvStartParams b = trvtest::StartBlock(settings.configDir, onError);
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &b), 1);
        std::string log;
        EXPECT_TRUE(trvtest::WaitFor([&] { return Has(log += host.TakeLog(), "uEueCamThread3"); }));
    }
    // STOP closes the camera and gives back all of its memory.
    void ExpectStopFreesEverything() {
        trvtest::gFrames.nullAllowed = true;
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP), 1);
        EXPECT_EQ(trvtest::SimQuery(0, "handle"), "0");
        SimStats s = {};
        sim_stats(&s);
        EXPECT_EQ(s.liveBlocks, 0);
        EXPECT_EQ(s.frees, s.allocations);
        EXPECT_EQ(s.freedByExit, 0);
    }
    trvtest::HostSettings settings;
    trvtest::PluginHost host;
};

trvtest::PluginHost* gHost = nullptr;
std::mutex gLinesLock;
std::vector<std::string> gLines; // the log taken at each error call
std::atomic<uint32_t> gBlocked{0};

// Takes the lines logged before the call, and sends a command from another thread: it must
// get through, so the plug-in holds no lock while it calls.
void OnError() {
    std::string lines = gHost->TakeLog();
    auto t = std::make_shared<std::atomic<int32_t>>(-1);
    std::thread probe([t] { *t = gHost->Cmd(_TRV_DSHOW_CMD_NOP_11); });
    if (trvtest::WaitFor([&t] { return *t == 1; }, 10000)) {
        probe.join();
    } else {
        ++gBlocked;
        probe.detach();
    }
    std::lock_guard<std::mutex> g(gLinesLock);
    gLines.push_back(std::move(lines));
}

size_t ErrorCalls() {
    std::lock_guard<std::mutex> g(gLinesLock);
    return gLines.size();
}

TEST_F(Faults, CameraEventsCallTheHostOncePerEventAfterTheirLines) {
    gHost = &host;
    Start(&OnError);
    ASSERT_TRUE(trvtest::MoreFrames(3));
    sim_set_fps(5);
    // 0xC7 is reported only with CamErrorLog on, 0xB2 always; generic errors have one line.
    struct Row {
        int32_t code;
        int status;
        const wchar_t* errorLog;
        const char* lines;
    };
    constexpr size_t kEvents = 20;
    const Row rows[] = {
        {3, 0xB2, L"1",
         "OnUEyeMessage IS_TRANSFER_FAILED\nIS_CAP_STATUS_COUNT: 1\n"
         "IS_CAP_STATUS_DRV_OUT_OF_BUFFERS: 1\n"},
        {7, -1, L"1", "OnUEyeMessage IS_GENERIC_ERROR\n"},
        {3, 0xC7, L"0", ""},
        {3, 0xB2, L"0", "IS_CAP_STATUS_DRV_OUT_OF_BUFFERS: 1\n"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.lines);
        settings.Set(L"CamErrorLog", r.errorLog);
        sim_journal_clear();
        const size_t before = ErrorCalls();
        for (size_t i = 0; i < kEvents; ++i) { // each handled before the next is posted
            const uint32_t n = r.status < 0 ? 0 : 1;
            ASSERT_EQ(sim_post_event(0, r.code, n, r.status, n), 0);
            ASSERT_TRUE(trvtest::WaitFor([&] { return ErrorCalls() == before + i + 1; }, 60000));
        }
        std::lock_guard<std::mutex> g(gLinesLock);
        for (size_t i = before; i < gLines.size(); ++i) {
            EXPECT_EQ(gLines[i], r.lines) << i;
        }
        const std::vector<std::string> status = Calls("is_CaptureStatus");
        ASSERT_EQ(status.size(), r.code == 3 ? 2 * kEvents : 0u) << "read, then reset, each";
        for (size_t i = 0; i < status.size(); ++i) {
            EXPECT_TRUE(Has(status[i], i % 2 == 0 ? " cmd=2 " : " cmd=1 ")) << status[i];
        }
    }
    // An event the plug-in enabled but does not report calls nobody: the next one alone calls.
    ASSERT_EQ(sim_post_event(0, 2, 0, -1, 0), 0);
    ASSERT_EQ(sim_post_event(0, 7, 0, -1, 0), 0);
    ASSERT_TRUE(trvtest::WaitFor([] { return ErrorCalls() == 4 * kEvents + 1; }, 60000));
    EXPECT_EQ(gLines.back(), "OnUEyeMessage IS_GENERIC_ERROR\n");
    EXPECT_EQ(gBlocked.load(), 0u) << "a command was blocked during an error call";
    gHost = nullptr;
    ExpectStopFreesEverything();
}

} // namespace
