// Faults of the camera library through the real export: a camera that fails to open, camera
// events reported to the host's error callback, and failing lens-data and output calls. After
// each the plug-in logs what happened and goes on answering the host.
#include "e2e_host.h"
#include "host_settings.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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
    std::string Start(TrvErrorCallback onError = nullptr) {
        EXPECT_TRUE(host.loaded());
        TrvStartParams b = trvtest::StartBlock(settings.configDir, onError);
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &b), 1);
        size = std::to_string(b.nSizeX) + "x" + std::to_string(b.nSizeY);
        std::string log;
        EXPECT_TRUE(trvtest::WaitFor([&] { return Has(log += host.TakeLog(), "uEueCamThread3"); }));
        return log;
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
    std::string size;
};

struct OpenFault {
    const char* name;
    const char* call;
    int32_t result, count;
    const char* opened; // a piece of the start's log
    const char* size;
    int32_t code; // a command afterwards, with 0 as its argument
    int32_t answer;
    const char* after;  // a piece of its log
    const char* frames; // the size of the frames after it, or null: none
};

void PrintTo(const OpenFault& f, std::ostream* os) {
    *os << f.name;
}

class OpenFaults : public Faults, public testing::WithParamInterface<OpenFault> {};

TEST_P(OpenFaults, LoggedAndTheCameraServesAfterwards) {
    const OpenFault& f = GetParam();
    sim_fail(f.call, f.result, f.count);
    const std::string log = Start();
    EXPECT_TRUE(Has(log, f.opened)) << log;
    EXPECT_EQ(size, f.size);
    EXPECT_EQ(trvtest::FramesDuring(300), 0u);
    host.TakeLog();
    TrvAoiParams aoi = {2, -1, -1, -1, -1, -1};
    EXPECT_EQ(host.Cmd(f.code, f.code == _TRV_DSHOW_CMD_AOI ? reinterpret_cast<intptr_t>(&aoi)
                               : f.code == _TRV_DSHOW_CMD_RESET_CONFIG
                                   ? reinterpret_cast<intptr_t>(L"other.ini")
                                   : 0),
              f.answer);
    const std::string after = host.TakeLog();
    EXPECT_TRUE(Has(after, f.after)) << after;
    if (f.frames != nullptr) {
        EXPECT_EQ(trvtest::NextFrames(3), f.frames);
    } else {
        EXPECT_EQ(trvtest::FramesDuring(300), 0u);
    }
    ExpectStopFreesEverything();
}

INSTANTIATE_TEST_SUITE_P(
    Calls, OpenFaults,
    testing::Values(
        OpenFault{"InitFails", "is_CameraInit", 77, 1,
                  "***** UEYECAM OpenCamera2b\n***** UEYECAM OpenCamera11\n", "0x0", 45, 0,
                  "***** UEYECAM GetAoiRect error=1\n", nullptr},
        OpenFault{"InitAsksForRetryTwice", "is_CameraInit", 184, 2,
                  "***** UEYECAM OpenCamera11\n***** UEYECAM OnInitDialog2\n", "0x0", 45, 0,
                  "***** UEYECAM GetAoiRect error=1\n", nullptr},
        OpenFault{"MemoryAllocation", "is_ImageMemAlloc", 2, 1,
                  "***** UEYECAM InitDisplayMode10\n***** UEYECAM InitDisplayMode12\n", "64x48", 42,
                  1, "MyReloadFile m_nSizeX=64 m_nSizeY=48 ret=0\nMyReloadFile Enable\n", "64x48"},
        OpenFault{"MemoryActivation", "is_ImageMemActivate", 125, 1,
                  "***** UEYECAM InitDisplayMode11\n***** UEYECAM InitDisplayMode12\n", "64x48", 32,
                  1, "***** UEYECAM is_CaptureVideo failure: 108\nIS_CAP_STATUS_COUNT: 0\n",
                  nullptr},
        OpenFault{"LiveStart", "is_CaptureVideo", 108, 1,
                  "***** UEYECAM OpenCamera failure: 108\nIS_CAP_STATUS_COUNT: 0\n"
                  "***** UEYECAM OnInitDialog2\n",
                  "64x48", 32, 1, "MySetStreamId starting new...\n", "64x48"}),
    [](const testing::TestParamInfo<OpenFault>& i) { return i.param.name; });

// ---- Camera events: the host's error callback ----

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

// ---- Lens data and outputs ----

std::string Hex(const void* data, size_t size) {
    std::string out;
    char two[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(two, sizeof two, "%02x", static_cast<const unsigned char*>(data)[i]);
        out += two;
    }
    return out;
}

// A lens record of version 1.2, resolution 0.0055 in unit 2 (5.5); output 0 base 7000 scale
// 50 %, output 1 base 20000 scale 80 %.
std::string Record() {
    unsigned char d[41] = {1, 2, 3};
    const double calibration = 0.0055;
    d[16] = 80, d[17] = 20, d[19] = 50, d[20] = 7, d[40] = 2;
    std::memcpy(&d[32], &calibration, 8);
    return Hex(d, sizeof d);
}

// The journal lines of the output calls of camera 1.
std::string Io(uint32_t cmd, int result, std::vector<double> v, const char* out = "") {
    std::vector<unsigned char> bytes(v.size() * 8);
    std::memcpy(bytes.data(), v.data(), bytes.size());
    if (cmd == 28 || cmd == 30) { // words: the apply, or the output configuration
        const uint32_t words[16] = {cmd == 28 ? 2u : 1u, 0, 2, cmd == 30 ? 1u : 0u};
        bytes.assign(reinterpret_cast<const unsigned char*>(words),
                     reinterpret_cast<const unsigned char*>(words) + (cmd == 28 ? 4 : 64));
    }
    return "is_IO hCam=1 cmd=" + std::to_string(cmd) + " size=" + std::to_string(bytes.size()) +
           " bytes=" + Hex(bytes.data(), bytes.size()) + " -> " + std::to_string(result) + out;
}

TEST_F(Faults, LensDataAndOutputs) {
    ASSERT_EQ(sim_configure(0, "user_memory", Record().c_str()), 0);
    ASSERT_EQ(sim_configure(0, "io_limits", "8000 10000"), 0);
    Start();
    const std::string low = Io(22, 0, {0, 0}, " limit=8000"),
                      high = Io(23, 0, {0, 0}, " limit=10000");
    const std::vector<std::string> output0 = {low, high, Io(26, 0, {8000, 0.25}), Io(28, 0, {})};
    struct Row {
        const char* fault; // failed `count` times
        int count;
        const char* size; // user_memory_size (only 41 bytes are stored), or null
        int32_t type;     // of command 43, after a read by command 44
        bool read;        // the record was read
        std::vector<std::string> io;
        const char* ok2;
    };
    const Row rows[] = {
        {nullptr, 0, nullptr, 0, true, output0, "1"},
        {nullptr, 0, "0", 0, false, {}, "0"},
        {nullptr, 0, "40", 0, false, {}, "0"},
        {nullptr, 0, "41", 0, true, output0, "1"},
        {nullptr, 0, "65536", 0, true, output0, "1"},
        {nullptr, 0, "65537", 0, false, {}, "0"},
        {nullptr, 0, "4294967295", 0, false, {}, "0"},
        {"is_CameraMemory:6", 2, nullptr, 0, false, {}, "0"},
        {"is_CameraMemory:4", 2, nullptr, 0, false, {}, "0"},
        {"is_IO:22",
         1,
         nullptr,
         0,
         true,
         {Io(22, 5, {0, 0}), high, Io(26, 125, {7000, 0.25}), Io(28, 0, {})},
         "1"},
        {"is_IO:28", 1, nullptr, 0, true, {low, high, Io(26, 0, {8000, 0.25}), Io(28, 5, {})}, "0"},
        {"is_IO:30",
         1,
         nullptr,
         1,
         true,
         {low, high, Io(26, 0, {10000, 0}), Io(28, 0, {}), Io(30, 5, {}), Io(26, 0, {10000, 0.4}),
          Io(28, 0, {})},
         "1"},
        {nullptr, 0, nullptr, 1, true, {low, high, Io(26, 0, {10000, 0.4}), Io(28, 0, {})}, "1"},
        {nullptr, 0, nullptr, 2, true, {}, "0"},
    };
    // No frame events while the table runs: a slow-frame line could split the lines it reads.
    ASSERT_EQ(sim_configure(0, "stalled", "1"), 0);
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.fault ? r.fault : "") + (r.size ? r.size : "") +
                     std::to_string(r.type));
        ASSERT_EQ(sim_configure(0, "user_memory_size", r.size != nullptr ? r.size : "-1"), 0);
        if (r.fault != nullptr) {
            sim_fail(r.fault, 5, r.count);
        }
        host.TakeLog();
        TrvPraxCamResParams res = {7.0, 7.0};
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_PRAX_CAM_RES, &res), r.read ? 1 : 0);
        EXPECT_EQ(res.dResX, r.read ? 5.5 : 7.0);
        sim_journal_clear();
        TrvPraxControlParams control = {r.type, 50.0};
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_PRAX_CONTROL, &control), 1);
        EXPECT_EQ(Calls("is_IO"), r.io);
        const std::string log = host.TakeLog();
        EXPECT_TRUE(Has(log, std::string(r.read ? "ok=1" : "ok=0") + " dtRead=")) << log;
        // At most the record's bytes are read; a size above 64 KiB is refused before any read.
        const uint32_t size = r.size != nullptr ? std::stoul(r.size) : 0;
        const std::vector<std::string> memory = Calls("is_CameraMemory");
        if (r.size != nullptr && size > 65536) {
            EXPECT_EQ(memory.size(), 1u);
            EXPECT_TRUE(Has(log, "ReadPraxCamData size=" + std::string(r.size) + " too large\n"));
        } else if (r.size != nullptr) {
            EXPECT_TRUE(Has(memory.back(), " count=" + std::to_string(std::min(size, 41u)) + " "))
                << memory.back();
        }
        EXPECT_TRUE(Has(log, "PraxControl hCam=1 type=" + std::to_string(r.type) +
                                 " percent=50 ok1=" + (r.read ? "1" : "0") + " ok2=" + r.ok2))
            << log;
        if (r.type == 1 && r.io.size() == 7) {
            EXPECT_GE(trvtest::NumberAfter(log, "dtWrite="), 200) << "the switch waits 250 ms";
        }
    }
    ASSERT_EQ(sim_configure(0, "stalled", "0"), 0);
    EXPECT_EQ(trvtest::NextFrames(3), "64x48");
}

} // namespace
