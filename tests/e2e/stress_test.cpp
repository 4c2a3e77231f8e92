// Four host threads send random commands while two simulated cameras stream fast. Every
// command must end within its bound, every delivered frame must be whole and consistent, and
// the simulator must see image memory balanced and no call on a closed handle.
#include "infra/trv_params.h"
#include "frame_pattern.h"
#include "host_settings.h"
#include "lens_io.h"
#include "plugin_host.h"
#include "sim_control.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<uint64_t> gFrames{0};
std::atomic<uint64_t> gNullFrames{0};
std::atomic<uint64_t> gWrongSizes{0};
std::atomic<uint64_t> gWrongPatterns{0};
std::atomic<uint64_t> gErrors{0};

void OnFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size, intptr_t reserved,
             int32_t reserved2) {
    ++gFrames;
    if (pixels == nullptr) {
        ++gNullFrames;
        return;
    }
    if (int64_t{width} * height * 3 != size || width <= 0 || height <= 0 || reserved != 0 ||
        reserved2 != 0) {
        ++gWrongSizes;
        return;
    }
    // Either camera may be current: a 24-bit copy or an expanded 8-bit frame.
    if (!trvtest::PatternFits(pixels, size, false, 997, 4) &&
        !trvtest::PatternFits(pixels, size, true, 997, 4)) {
        ++gWrongPatterns;
    }
}

void OnError() {
    ++gErrors;
}

enum class Kind { AoiSet, AoiReset, AoiRead, Exposure, Timing, Focus, Switch, Lens, Output };

const char* Name(Kind k) {
    static const char* names[] = {"aoi set", "aoi reset", "aoi read", "exposure", "timing",
                                  "focus",   "switch",    "lens",     "output"};
    return names[static_cast<int>(k)];
}

// How long a command may hold the plug-in, by kind: a stream switch waits at most 20 s for
// frames, an output switch 250 ms, a focus command at most 1 s for its mutex; the rest only
// talk to the camera. Each bound has a margin for a slow machine.
DWORD BoundMs(Kind k) {
    switch (k) {
    case Kind::Switch:
        return 20000 + 5000;
    case Kind::Focus:
    case Kind::Output:
        return 1000 + 5000;
    default:
        return 5000;
    }
}

struct Done {
    Kind kind;
    int64_t startUs, endUs;
};

int64_t NowUs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<int64_t>(c.QuadPart * 1000000.0 / static_cast<double>(f.QuadPart));
}

class Stress : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        SimCamera a = sim_camera("SN1", 1, 2, 320, 240);
        SimCamera b = sim_camera("SN2", 2, 1, 256, 192);
        sim_add_camera(&a);
        sim_add_camera(&b);
        const std::string lens = trvtest::LensRecord{}.Hex();
        for (int i = 0; i < 2; ++i) {
            sim_configure(i, "fps", "200");
            // 50 to 200 frames a second: a reset before any set asks for rate 0, the slowest.
            sim_configure(i, "frame_time_range", "0.005 0.02 0.001");
            sim_configure(i, "user_memory", lens.c_str());
            sim_configure(i, "io_limits", "0 100000");
        }
        settings.Set(L"CamSN_1", L"SN1");
        settings.Set(L"CamSN_2", L"SN2");
        settings.Set(L"MaxExposureMs", L"1");
    }

    // One command of `kind` with random arguments; its answer must be 0 or 1.
    int32_t Run(Kind kind, std::mt19937& rng) {
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        switch (kind) {
        case Kind::AoiSet: {
            TrvAoiParams p = {pick(1, 3), pick(-50, 300), pick(-50, 250),
                              0,          pick(0, 400),   pick(0, 300)};
            return host.Cmd(_TRV_DSHOW_CMD_AOI, &p);
        }
        case Kind::AoiReset: {
            TrvAoiParams p = {0, 0, 0, 0, 0, 0};
            return host.Cmd(_TRV_DSHOW_CMD_AOI, &p);
        }
        case Kind::AoiRead: {
            TrvAoiParams p = {2, 0, 0, 0, 0, 0};
            return host.Cmd(_TRV_DSHOW_CMD_AOI, &p);
        }
        case Kind::Exposure:
            return host.Cmd(_TRV_DSHOW_CMD_SET_EXPOSURE, pick(-50, 150));
        case Kind::Timing: {
            TrvTimingParams t = {};
            return host.Cmd(_TRV_DSHOW_CMD_GET_TIMING, &t);
        }
        case Kind::Focus:
            return host.Cmd(pick(0, 1) ? _TRV_DSHOW_CMD_START_FOCUS : _TRV_DSHOW_CMD_STOP_FOCUS);
        case Kind::Switch:
            return host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, pick(0, 9) == 0 ? 9 : pick(1, 2));
        case Kind::Lens: {
            TrvPraxCamResParams r = {};
            return host.Cmd(_TRV_DSHOW_CMD_PRAX_CAM_RES, &r);
        }
        case Kind::Output: {
            TrvPraxControlParams c = {pick(-1, 2), static_cast<double>(pick(-20, 120))};
            return host.Cmd(_TRV_DSHOW_CMD_PRAX_CONTROL, &c);
        }
        }
        return -1;
    }

    trvtest::HostSettings settings;
    trvtest::PluginHost host;
};

TEST_F(Stress, FourThreadsOfRandomCommandsWhileTwoCamerasStream) {
    ASSERT_TRUE(host.loaded());
    TrvStartParams block = {};
    block.frameCallback = &OnFrame;
    block.errorCallback = &OnError;
    block.pszConfigDir = settings.configDir.c_str();
    block.nFocusType = 1; // focus switches the strobe: frames keep coming
    const DWORD startAt = GetTickCount();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    // Start waits at most its twelve 5-second slices for the camera thread.
    EXPECT_LE(GetTickCount() - startAt, 12u * 5000u + 5000u);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 1), 1);

    // A hang fails the test instead of stalling the suite.
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 900 && !finished; ++i) {
            Sleep(100);
        }
        if (!finished) {
            std::fprintf(stderr, "stress: a command has not returned within 90 s\n");
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });

    constexpr DWORD kRunMs = 8000;
    std::mutex doneLock;
    std::vector<Done> done;
    std::vector<std::string> badAnswers;
    std::vector<std::thread> threads;
    const DWORD t0 = GetTickCount();
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(1234u + static_cast<unsigned>(t));
            std::uniform_int_distribution<int> kinds(0, static_cast<int>(Kind::Output));
            while (GetTickCount() - t0 < kRunMs) {
                const Kind k = static_cast<Kind>(kinds(rng));
                const int64_t start = NowUs();
                const int32_t answer = Run(k, rng);
                const int64_t end = NowUs();
                std::lock_guard<std::mutex> g(doneLock);
                done.push_back({k, start, end});
                if (answer != 0 && answer != 1) {
                    badAnswers.push_back(Name(k));
                }
                // A host thinks between commands; frames get through meanwhile.
                Sleep(static_cast<DWORD>(rng() % 8));
            }
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    const double seconds = (GetTickCount() - t0) / 1000.0;

    // Commands run one at a time: a command held the plug-in from its start, or from the end of
    // the command before it, to its own end.
    std::sort(done.begin(), done.end(),
              [](const Done& a, const Done& b) { return a.endUs < b.endUs; });
    int64_t previousEnd = 0;
    std::vector<int> perKind(9, 0);
    for (const Done& d : done) {
        const int64_t heldMs = (d.endUs - std::max(d.startUs, previousEnd)) / 1000;
        EXPECT_LE(heldMs, static_cast<int64_t>(BoundMs(d.kind))) << Name(d.kind);
        previousEnd = d.endUs;
        ++perKind[static_cast<int>(d.kind)];
    }
    EXPECT_TRUE(badAnswers.empty()) << badAnswers.front();
    for (int k = 0; k < 9; ++k) {
        EXPECT_GT(perKind[static_cast<size_t>(k)], 0) << Name(static_cast<Kind>(k));
    }

    // Frames kept coming and every one was whole.
    const uint64_t duringStorm = gFrames;
    EXPECT_GT(duringStorm, 0u);
    const uint64_t before = gFrames;
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 2), 1);
    for (int i = 0; i < 400 && gFrames < before + 10; ++i) {
        Sleep(5);
    }
    EXPECT_GE(gFrames, before + 10) << "frames after the storm";
    EXPECT_EQ(gNullFrames, 0u);
    EXPECT_EQ(gWrongSizes, 0u);
    EXPECT_EQ(gWrongPatterns, 0u);

    SimStats s = {};
    sim_stats(&s);
    EXPECT_EQ(s.closedHandleCalls, 0);
    EXPECT_EQ(s.badFrees, 0);
    EXPECT_EQ(s.liveBlocks, 2) << "one block per open camera";

    // Stop and start: cameras closed, memory given back, commands still answered.
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP), 1);
    TrvStartParams again = block;
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &again), 1);
    sim_stats(&s);
    EXPECT_EQ(s.liveBlocks, 0);
    EXPECT_EQ(s.frees, s.allocations) << "every block freed exactly once";
    EXPECT_EQ(s.freedByExit, 0);
    std::mt19937 rng(99);
    for (int i = 0; i < 20; ++i) {
        const int32_t answer = Run(static_cast<Kind>(i % 5), rng);
        EXPECT_TRUE(answer == 0 || answer == 1);
    }
    finished = true;
    watchdog.join();

    std::printf("stress: %zu commands in %.1f s (%.0f a second), %llu frames delivered meanwhile, "
                "%u posted by both cameras, %llu error callbacks\n",
                done.size(), seconds, done.size() / seconds,
                static_cast<unsigned long long>(duringStorm), s.framesPosted,
                static_cast<unsigned long long>(gErrors.load()));
}

} // namespace
