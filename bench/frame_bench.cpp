// Native frame-conversion benchmarks: our expansion beside OpenCV's single-thread cvtColor
// and memcpy, our 24-bit copy beside memcpy, hot and cold, in one run.
//   frame_bench [--trv_md=FILE] [Google Benchmark flags]
// With --trv_md the medians and their ratios are written to FILE as Markdown.
#include "acquisition/frame_convert.h"
#include "frame_cases.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using bench::BufferRing;
using bench::FrameSize;
using Convert = std::function<void(const uint8_t* in, uint8_t* out)>;

void RunCase(benchmark::State& state, size_t inBytes, size_t outBytes, bool cold,
             const Convert& convert) {
    BufferRing ring(inBytes, outBytes, cold);
    size_t k = 0;
    for (auto _ : state) {
        convert(ring.In(k), ring.Out(k));
        benchmark::ClobberMemory();
        k = k + 1 == ring.Count() ? 0 : k + 1;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(inBytes + outBytes));
}

void RunOpenCv(benchmark::State& state, const FrameSize& size, bool cold) {
    const size_t pixels = size.Pixels();
    BufferRing ring(pixels, 3 * pixels, cold);
    // Headers over our own buffers: cvtColor finds the destination of the right size and
    // type and writes into it, so nothing is allocated while timing.
    std::vector<cv::Mat> in;
    std::vector<cv::Mat> out;
    for (size_t k = 0; k < ring.Count(); ++k) {
        in.emplace_back(size.height, size.width, CV_8UC1, const_cast<uint8_t*>(ring.In(k)));
        out.emplace_back(size.height, size.width, CV_8UC3, ring.Out(k));
    }
    size_t k = 0;
    for (auto _ : state) {
        cv::cvtColor(in[k], out[k], cv::COLOR_GRAY2BGR);
        benchmark::ClobberMemory();
        k = k + 1 == ring.Count() ? 0 : k + 1;
    }
    if (out[0].data != ring.Out(0) || out[0].channels() != 3) {
        state.SkipWithError("cvtColor did not write into the given buffer");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(4 * pixels));
}

double Min(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

void Register(const std::string& name, size_t inBytes, size_t outBytes, bool cold,
              Convert convert) {
    benchmark::RegisterBenchmark(
        name.c_str(),
        [=](benchmark::State& state) { RunCase(state, inBytes, outBytes, cold, convert); })
        ->Unit(benchmark::kMicrosecond)
        ->ComputeStatistics("min", Min);
}

void RegisterAll() {
    for (const FrameSize& size : bench::Sizes()) {
        const size_t pixels = size.Pixels();
        const size_t bytes = 3 * pixels;
        for (bool cold : {false, true}) {
            Register(bench::Key(cold, "expand", "ours", size), pixels, bytes, cold,
                     [pixels](const uint8_t* in, uint8_t* out) {
                         trv::ExpandMono8To24(in, out, pixels);
                     });
            benchmark::RegisterBenchmark(
                bench::Key(cold, "expand", "opencv", size).c_str(),
                [size, cold](benchmark::State& state) { RunOpenCv(state, size, cold); })
                ->Unit(benchmark::kMicrosecond)
                ->ComputeStatistics("min", Min);
            Register(bench::Key(cold, "expand", "memcpy", size), bytes, bytes, cold,
                     [bytes](const uint8_t* in, uint8_t* out) { std::memcpy(out, in, bytes); });
            Register(bench::Key(cold, "copy24", "ours", size), bytes, bytes, cold,
                     [bytes](const uint8_t* in, uint8_t* out) { trv::Copy24(in, out, bytes); });
            Register(bench::Key(cold, "copy24", "memcpy", size), bytes, bytes, cold,
                     [bytes](const uint8_t* in, uint8_t* out) { std::memcpy(out, in, bytes); });
        }
        for (trv::ConvertPath path : bench::AllPaths()) {
            if (!trv::ConvertPathSupported(path)) {
                continue;
            }
            for (bool cold : {false, true}) {
                if (cold && !bench::MeasuredCold(path)) {
                    continue;
                }
                Register(bench::Key(cold, "expand", bench::PathName(path), size), pixels, bytes,
                         cold, [pixels, path](const uint8_t* in, uint8_t* out) {
                             trv::ExpandMono8To24With(path, in, out, pixels);
                         });
            }
        }
    }
}

// Shows the runs as usual and keeps each case's median for the Markdown table.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    explicit CollectingReporter(bench::Figures* figures) : m_figures(figures) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Aggregate) {
                continue;
            }
            const double ns =
                run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (run.aggregate_name == "min") {
                m_figures->best[run.run_name.function_name] = ns;
            } else if (run.aggregate_name == "median") {
                m_figures->median[run.run_name.function_name] = ns;
            }
        }
    }

  private:
    bench::Figures* m_figures;
};

} // namespace

int main(int argc, char** argv) {
    std::string mdPath;
    // Defaults first, so that flags given on the command line win.
    std::vector<char*> args = {argv[0]};
    // Interleaved repetitions spread each case over the whole run, so that a burst of other
    // load on the machine does not fall on one side of a comparison only.
    char reps[] = "--benchmark_repetitions=9";
    char minTime[] = "--benchmark_min_time=0.1";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.end(), {reps, minTime, interleave, aggregates});
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--trv_md=", 9) == 0) {
            mdPath = argv[i] + 9;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    cv::setNumThreads(1);
    bench::Arenas::Get();
    RegisterAll();
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 2;
    }
    benchmark::AddCustomContext("streaming from output bytes",
                                std::to_string(trv::StreamingThresholdBytes()));
    benchmark::AddCustomContext("OpenCV", CV_VERSION);
    benchmark::AddCustomContext("OpenCV threads", std::to_string(cv::getNumThreads()));
    bench::Figures figures;
    CollectingReporter reporter(&figures);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("paired ratios for the targets (about 30 s)\n");
    bench::MeasureTargetPairs(&figures, [](const FrameSize& size) -> bench::Convert {
        // Headers over the given buffers only: nothing is allocated per frame.
        return [size](const uint8_t* in, uint8_t* out) {
            const cv::Mat src(size.height, size.width, CV_8UC1, const_cast<uint8_t*>(in));
            cv::Mat dst(size.height, size.width, CV_8UC3, out);
            cv::cvtColor(src, dst, cv::COLOR_GRAY2BGR);
        };
    });
    for (const auto& [key, ratio] : figures.paired) {
        std::printf("%-40s %.3f (quartiles %.3f to %.3f)\n", key.c_str(), ratio.median,
                    ratio.lowQuartile, ratio.highQuartile);
    }

    if (!mdPath.empty()) {
        std::FILE* out = std::fopen(mdPath.c_str(), "w");
        if (out == nullptr) {
            std::perror(mdPath.c_str());
            return 1;
        }
        const std::string method =
            "Google Benchmark, 9 randomly interleaved repetitions of at least 0.1 s each; times "
            "per frame. "
            "OpenCV " CV_VERSION " with cv::setNumThreads(1) (cv::getNumThreads() = " +
            std::to_string(cv::getNumThreads()) +
            "), writing into preallocated frames. \"Moved\" counts the bytes read and written "
            "(4 per pixel). memcpy of the output size moves 6 bytes per pixel.";
        const bench::ReportContext ctx{"Native (Linux, g++ -O2)", true, method.c_str()};
        bench::WriteFrameReport(out, figures, ctx);
        std::fclose(out);
    }
    return 0;
}
