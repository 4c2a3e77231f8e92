// Frame-conversion benchmarks of the Windows build, run under Wine: the same cases as the
// native run, without OpenCV, timed by a small harness (Google Benchmark is not available
// for this toolchain here).
//   frame_bench_win [--trv_md=FILE] [--rounds=N]
// Each round runs every case once, for about 50 ms, in an order shuffled anew per round; a
// case's figures are the best and the median of its rounds.
#include "acquisition/frame_convert.h"
#include "frame_cases.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using bench::BufferRing;
using bench::FrameSize;
using Clock = std::chrono::steady_clock;

struct Case {
    Case(std::string n, size_t in, size_t out, bool c,
         std::function<void(const uint8_t*, uint8_t*)> f)
        : name(std::move(n)), inBytes(in), outBytes(out), cold(c), convert(std::move(f)) {}
    std::string name;
    size_t inBytes;
    size_t outBytes;
    bool cold;
    std::function<void(const uint8_t*, uint8_t*)> convert;
    size_t iterations = 1;
    std::vector<double> nsPerFrame;
};

// Runs `n` frames through the case's ring and returns the nanoseconds per frame.
double TimeBatch(Case& c, BufferRing& ring, size_t n) {
    size_t k = 0;
    const Clock::time_point start = Clock::now();
    for (size_t i = 0; i < n; ++i) {
        c.convert(ring.In(k), ring.Out(k));
        bench::KeepStores(ring.Out(k));
        k = k + 1 == ring.Count() ? 0 : k + 1;
    }
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    return ns / static_cast<double>(n);
}

constexpr double kBatchNs = 50e6;

void Calibrate(Case& c) {
    BufferRing ring(c.inBytes, c.outBytes, c.cold);
    TimeBatch(c, ring, ring.Count()); // warm up, once around the ring
    size_t n = 1;
    double perFrame = TimeBatch(c, ring, n);
    while (perFrame * static_cast<double>(n) < kBatchNs / 10) {
        n *= 4;
        perFrame = TimeBatch(c, ring, n);
    }
    c.iterations = std::max<size_t>(1, static_cast<size_t>(kBatchNs / perFrame));
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 == 1 ? v[m] : (v[m - 1] + v[m]) / 2;
}

std::vector<Case> MakeCases() {
    std::vector<Case> cases;
    for (const FrameSize& size : bench::Sizes()) {
        const size_t pixels = size.Pixels();
        const size_t bytes = 3 * pixels;
        auto expand = [pixels](const uint8_t* in, uint8_t* out) {
            trv::ExpandMono8To24(in, out, pixels);
        };
        auto copy = [bytes](const uint8_t* in, uint8_t* out) { trv::Copy24(in, out, bytes); };
        auto memcopy = [bytes](const uint8_t* in, uint8_t* out) { std::memcpy(out, in, bytes); };
        for (bool cold : {false, true}) {
            cases.emplace_back(bench::Key(cold, "expand", "ours", size), pixels, bytes, cold,
                               expand);
            cases.emplace_back(bench::Key(cold, "expand", "memcpy", size), bytes, bytes, cold,
                               memcopy);
            cases.emplace_back(bench::Key(cold, "copy24", "ours", size), bytes, bytes, cold, copy);
            cases.emplace_back(bench::Key(cold, "copy24", "memcpy", size), bytes, bytes, cold,
                               memcopy);
        }
        for (trv::ConvertPath path : bench::AllPaths()) {
            if (!trv::ConvertPathSupported(path)) {
                continue;
            }
            auto run = [pixels, path](const uint8_t* in, uint8_t* out) {
                trv::ExpandMono8To24With(path, in, out, pixels);
            };
            for (bool cold : {false, true}) {
                if (!cold || bench::MeasuredCold(path)) {
                    cases.emplace_back(bench::Key(cold, "expand", bench::PathName(path), size),
                                       pixels, bytes, cold, run);
                }
            }
        }
    }
    return cases;
}

} // namespace

int main(int argc, char** argv) {
    std::string mdPath;
    int rounds = 9;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--trv_md=", 9) == 0) {
            mdPath = argv[i] + 9;
        } else if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
            rounds = std::max(1, std::atoi(argv[i] + 9));
        } else {
            std::fprintf(stderr, "usage: frame_bench_win [--trv_md=FILE] [--rounds=N]\n");
            return 2;
        }
    }
    bench::Arenas::Get();
    std::vector<Case> cases = MakeCases();
    std::printf("streaming from %zu output bytes; %zu cases, %d rounds\n",
                trv::StreamingThresholdBytes(), cases.size(), rounds);
    for (Case& c : cases) {
        Calibrate(c);
    }
    std::vector<size_t> order(cases.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::mt19937 rng(12345);
    for (int r = 0; r < rounds; ++r) {
        std::shuffle(order.begin(), order.end(), rng);
        for (size_t i : order) {
            Case& c = cases[i];
            BufferRing ring(c.inBytes, c.outBytes, c.cold);
            c.nsPerFrame.push_back(TimeBatch(c, ring, c.iterations));
        }
        std::printf("round %d of %d done\n", r + 1, rounds);
        std::fflush(stdout);
    }
    bench::Figures figures;
    bench::MeasureTargetPairs(&figures, nullptr);
    for (const auto& [key, ratio] : figures.paired) {
        std::printf("%-40s %.3f (quartiles %.3f to %.3f)\n", key.c_str(), ratio.median,
                    ratio.lowQuartile, ratio.highQuartile);
    }
    for (const Case& c : cases) {
        figures.best[c.name] = *std::min_element(c.nsPerFrame.begin(), c.nsPerFrame.end());
        figures.median[c.name] = Median(c.nsPerFrame);
        std::printf("%-36s best %10.1f us  median %10.1f us\n", c.name.c_str(),
                    figures.best[c.name] / 1e3, figures.median[c.name] / 1e3);
    }
    if (!mdPath.empty()) {
        std::FILE* out = std::fopen(mdPath.c_str(), "w");
        if (out == nullptr) {
            std::perror(mdPath.c_str());
            return 1;
        }
        const std::string method =
            "Own timing harness (Google Benchmark is not available for MinGW here): " +
            std::to_string(rounds) +
            " rounds, each running every case for about 50 ms in a freshly shuffled order; "
            "times per frame. memcpy here is the C runtime's of Wine (msvcrt), which is what "
            "both Copy24 and the memcpy columns call; on Windows it is Microsoft's.";
        const bench::ReportContext ctx{"Windows build under Wine (MinGW-w64 g++ -O2)", false,
                                       method.c_str()};
        bench::WriteFrameReport(out, figures, ctx);
        std::fclose(out);
    }
    return 0;
}
