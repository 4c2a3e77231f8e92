// Four host threads send random commands while two simulated cameras stream fast. Every
// command must end within its bound, every delivered frame must be whole, and the simulator must
// see image memory balanced and no call on a closed handle.
#include "e2e_host.h"
#include "host_settings.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<uint64_t> gFrames{0};
std::atomic<uint64_t> gBadFrames{0};
std::mutex gFirstBadLock;
std::string gFirstBadFrame;

void OnFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size, intptr_t reserved,
             int32_t reserved2) {
    ++gFrames;
    // Either camera may be current: a 24-bit copy or an expanded 8-bit frame.
    const bool whole =
        trvtest::PatternFits(pixels, size, false) || trvtest::PatternFits(pixels, size, true);
    if ((int64_t{width} * height * 3 != size || width <= 0 || reserved != 0 || reserved2 != 0 ||
         !whole) &&
        gBadFrames++ == 0) {
        // Its numbers read as a 24-bit and as an expanded 8-bit frame.
        std::string numbers;
        for (const bool mono : {false, true}) {
            if (pixels != nullptr && size >= 24) {
                const size_t last = mono ? size - 12 : size - 4;
                numbers += " " + std::to_string(trvtest::FrameNumber(pixels, mono)) + ".." +
                           std::to_string(trvtest::FrameNumber(pixels + last, mono));
            }
        }
        std::lock_guard<std::mutex> g(gFirstBadLock);
        gFirstBadFrame = std::to_string(width) + " x " + std::to_string(height) + ", " +
                         std::to_string(size) + " bytes, numbers" + numbers + ", newest " +
                         std::to_string(trvtest::NewestFrameNumber());
    }
}

using Pick = std::function<int(int, int)>;

// How long a command may hold the plug-in: a stream switch waits at most 20 s for frames, an
// output switch 250 ms, a focus command 1 s for its mutex; each with a margin for a slow machine.
struct Kind {
    const char* name;
    int64_t boundMs;
    int32_t (*run)(trvtest::PluginHost&, const Pick&);
};

const Kind kKinds[] = {
    {"aoi", 5000,
     [](trvtest::PluginHost& h, const Pick& pick) {
         TrvAoiParams p = {pick(0, 3), pick(-50, 300), pick(-50, 250),
                           0,          pick(0, 400),   pick(0, 300)};
         return h.Cmd(_TRV_DSHOW_CMD_AOI, &p);
     }},
    {"exposure", 5000,
     [](trvtest::PluginHost& h, const Pick& pick) { return h.Cmd(15, pick(-50, 150)); }},
    {"timing", 5000,
     [](trvtest::PluginHost& h, const Pick&) {
         TrvTimingParams t = {};
         return h.Cmd(_TRV_DSHOW_CMD_GET_TIMING, &t);
     }},
    {"focus", 6000,
     [](trvtest::PluginHost& h, const Pick& pick) { return h.Cmd(pick(0, 1) ? 8 : 10); }},
    {"switch", 25000,
     [](trvtest::PluginHost& h, const Pick& pick) {
         return h.Cmd(32, pick(0, 9) == 0 ? 9 : pick(1, 2));
     }},
    {"lens", 5000,
     [](trvtest::PluginHost& h, const Pick&) {
         TrvPraxCamResParams r = {};
         return h.Cmd(_TRV_DSHOW_CMD_PRAX_CAM_RES, &r);
     }},
    {"output", 6000,
     [](trvtest::PluginHost& h, const Pick& pick) {
         TrvPraxControlParams c = {pick(-1, 2), static_cast<double>(pick(-20, 120))};
         return h.Cmd(_TRV_DSHOW_CMD_PRAX_CONTROL, &c);
     }},
};

TEST(Stress, FourThreadsOfRandomCommandsWhileTwoCamerasStream) {
    sim_reset();
    const SimCamera a = sim_camera("SN1", 1, 2, 320, 240);
    const SimCamera b = sim_camera("SN2", 2, 1, 256, 192);
    sim_add_camera(&a);
    sim_add_camera(&b);
    for (int i = 0; i < 2; ++i) {
        sim_configure(i, "fps", "200");
        // 50 to 200 frames a second: a reset before any set asks for rate 0, the slowest.
        sim_configure(i, "frame_time_range", "0.005 0.02 0.001");
        sim_configure(i, "io_limits", "0 100000");
    }
    trvtest::HostSettings settings;
    settings.Set(L"CamSN_1", L"SN1");
    settings.Set(L"CamSN_2", L"SN2");
    settings.Set(L"MaxExposureMs", L"1");
    trvtest::PluginHost host;
    ASSERT_TRUE(host.loaded());
    TrvStartParams block = trvtest::StartBlock(settings.configDir);
    block.frameCallback = &OnFrame;
    block.nFocusType = 1; // focus switches the strobe: frames keep coming
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 1), 1);

    struct Done {
        const Kind* kind;
        int64_t startUs, endUs;
        int32_t answer;
    };
    std::mutex doneLock;
    std::vector<Done> done;
    std::vector<std::thread> threads;
    const DWORD t0 = GetTickCount();
    for (unsigned t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(1234u + t);
            const Pick pick = [&](int lo, int hi) {
                return std::uniform_int_distribution<int>(lo, hi)(rng);
            };
            while (GetTickCount() - t0 < 8000) {
                const Kind& k = kKinds[pick(0, std::size(kKinds) - 1)];
                const int64_t start = trvtest::NowUs();
                const int32_t answer = k.run(host, pick);
                std::lock_guard<std::mutex> g(doneLock);
                done.push_back({&k, start, trvtest::NowUs(), answer});
                Sleep(static_cast<DWORD>(rng() % 8)); // frames get through meanwhile
            }
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    // Commands run one at a time: each held the plug-in from its start, or from the end of the
    // one before, to its own end.
    std::sort(done.begin(), done.end(),
              [](const Done& x, const Done& y) { return x.endUs < y.endUs; });
    int64_t previousEnd = 0;
    std::vector<const Kind*> seen;
    for (const Done& d : done) {
        EXPECT_LE((d.endUs - std::max(d.startUs, previousEnd)) / 1000, d.kind->boundMs)
            << d.kind->name;
        EXPECT_TRUE(d.answer == 0 || d.answer == 1) << d.kind->name;
        previousEnd = d.endUs;
        seen.push_back(d.kind);
    }
    for (const Kind& k : kKinds) {
        EXPECT_NE(std::find(seen.begin(), seen.end(), &k), seen.end()) << k.name;
    }
    const uint64_t before = gFrames;
    EXPECT_GT(before, 0u);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 2), 1);
    EXPECT_TRUE(trvtest::WaitFor([&] { return gFrames >= before + 10; })) << "after the storm";
    {
        std::lock_guard<std::mutex> g(gFirstBadLock);
        EXPECT_EQ(gBadFrames, 0u) << "the first: " << gFirstBadFrame;
    }
    SimStats s = {};
    sim_stats(&s);
    EXPECT_EQ(s.closedHandleCalls, 0);
    EXPECT_EQ(s.badFrees, 0);
    EXPECT_EQ(s.liveBlocks, 2) << "one block per open camera";
    // Stop: cameras closed, every block freed exactly once by the plug-in.
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP), 1);
    sim_stats(&s);
    EXPECT_EQ(s.liveBlocks, 0);
    EXPECT_EQ(s.frees, s.allocations);
    EXPECT_EQ(s.freedByExit, 0);
}

} // namespace
