// What the frame benchmarks measure, shared by the native run (Google Benchmark) and the
// Windows timing harness, and how both write their figures into BENCHMARKS.md.
// Pure code, no OS headers.
#pragma once

#include "acquisition/frame_convert.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct FrameSize {
    int width;
    int height;
    size_t Pixels() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
    std::string Name() const { return std::to_string(width) + "x" + std::to_string(height); }
};

// The names of the expansion paths in the tables and result keys.
inline const char* PathName(trv::ConvertPath path) {
    switch (path) {
    case trv::ConvertPath::Plain:
        return "plain";
    case trv::ConvertPath::Ssse3:
        return "ssse3";
    case trv::ConvertPath::Avx2:
        return "avx2";
    case trv::ConvertPath::Ssse3Stream:
        return "ssse3-stream";
    case trv::ConvertPath::Avx2Stream:
        return "avx2-stream";
    }
    return "?";
}

inline const std::vector<FrameSize>& Sizes() {
    static const std::vector<FrameSize> sizes = {
        {640, 480}, {1280, 1024}, {2048, 1536}, {4096, 3000}};
    return sizes;
}

// The size the targets are stated for.
constexpr int kTargetWidth = 2048;
constexpr int kTargetHeight = 1536;

// "Hot": one source and one destination, reused, so a frame that fits stays in the caches.
// "Cold": sources and destinations rotate through at least this many bytes, several times
// any last-level cache, so each frame is read from and written to memory, as a camera's is.
constexpr size_t kColdBytes = size_t{192} << 20;

// Names of the measured cases: "<hot|cold>/<what>/<who>/<size>".
inline std::string Key(bool cold, const char* what, const char* who, const FrameSize& size) {
    return std::string(cold ? "cold/" : "hot/") + what + "/" + who + "/" + size.Name();
}

// Two arenas of kColdBytes, sources and destinations, allocated and filled once per process,
// so that interleaving the cases costs no set-up; every page is touched before any timing.
class Arenas {
  public:
    static Arenas& Get() {
        static Arenas arenas;
        return arenas;
    }
    uint8_t* In() { return Aligned(m_in); }
    uint8_t* Out() { return Aligned(m_out); }

  private:
    Arenas() : m_in(kColdBytes + kAlign), m_out(kColdBytes + kAlign, uint8_t{0}) {
        for (size_t i = 0; i < m_in.size(); ++i) {
            m_in[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
        }
    }
    static uint8_t* Aligned(std::vector<uint8_t>& v) {
        const size_t mis = reinterpret_cast<uintptr_t>(v.data()) % kAlign;
        return v.data() + (mis == 0 ? 0 : kAlign - mis);
    }
    static constexpr size_t kAlign = 64;
    std::vector<uint8_t> m_in;
    std::vector<uint8_t> m_out;
};

// Source and destination frames: one pair (hot) or as many pairs as the arenas hold (cold).
class BufferRing {
  public:
    BufferRing(size_t inBytes, size_t outBytes, bool cold)
        : m_inStep(RoundUp(inBytes)), m_outStep(RoundUp(outBytes)) {
        m_count = cold ? std::min(kColdBytes / m_inStep, kColdBytes / m_outStep) : 1;
    }
    size_t Count() const { return m_count; }
    const uint8_t* In(size_t k) const { return Arenas::Get().In() + k * m_inStep; }
    uint8_t* Out(size_t k) { return Arenas::Get().Out() + k * m_outStep; }

  private:
    static size_t RoundUp(size_t bytes) { return (bytes + 63) / 64 * 64; }
    size_t m_inStep;
    size_t m_outStep;
    size_t m_count;
};

// Nanoseconds per frame, by Key.
using Results = std::map<std::string, double>;

struct ReportContext {
    const char* title; // heading of this build's section
    bool haveOpenCv;
    const char* method; // how the figures were taken
};

inline const double* Find(const Results& r, const std::string& key) {
    auto it = r.find(key);
    return it == r.end() ? nullptr : &it->second;
}

inline std::string Ms(const double* ns) {
    if (ns == nullptr) {
        return "n/a";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", *ns / 1e6);
    return text;
}

inline std::string Ratio(const double* a, const double* b) {
    if (a == nullptr || b == nullptr || *b <= 0) {
        return "n/a";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", *a / *b);
    return text;
}

// Bytes read and written per second, in GB/s (10^9).
inline std::string Rate(const double* ns, size_t bytes) {
    if (ns == nullptr || *ns <= 0) {
        return "n/a";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB/s", static_cast<double>(bytes) / *ns);
    return text;
}

inline void WriteExpansionTable(std::FILE* out, const Results& r, const ReportContext& ctx,
                                bool cold) {
    std::fprintf(out, "\n#### 8-bit to 24-bit expansion, %s\n\n",
                 cold ? "frames from memory (buffers rotate through at least 192 MiB)"
                      : "frames hot in the caches (one buffer pair reused)");
    std::fprintf(out,
                 "| Frame | ours | path taken | ours, bytes moved per second | %smemcpy of "
                 "the output size | %sours / memcpy |\n",
                 ctx.haveOpenCv ? "OpenCV cvtColor GRAY2BGR, 1 thread | " : "",
                 ctx.haveOpenCv ? "ours / OpenCV | " : "");
    std::fprintf(out, "|---|---:|---|---:|%s---:|%s---:|\n", ctx.haveOpenCv ? "---:|" : "",
                 ctx.haveOpenCv ? "---:|" : "");
    for (const FrameSize& size : Sizes()) {
        const double* ours = Find(r, Key(cold, "expand", "ours", size));
        const double* cv = Find(r, Key(cold, "expand", "opencv", size));
        const double* mc = Find(r, Key(cold, "expand", "memcpy", size));
        std::fprintf(out, "| %s | %s | %s | %s | ", size.Name().c_str(), Ms(ours).c_str(),
                     PathName(trv::ChosenConvertPath(size.Pixels())),
                     Rate(ours, 4 * size.Pixels()).c_str());
        if (ctx.haveOpenCv) {
            std::fprintf(out, "%s | ", Ms(cv).c_str());
        }
        std::fprintf(out, "%s | ", Ms(mc).c_str());
        if (ctx.haveOpenCv) {
            std::fprintf(out, "%s | ", Ratio(ours, cv).c_str());
        }
        std::fprintf(out, "%s |\n", Ratio(ours, mc).c_str());
    }
}

inline const std::vector<trv::ConvertPath>& AllPaths() {
    static const std::vector<trv::ConvertPath> paths = {
        trv::ConvertPath::Plain, trv::ConvertPath::Ssse3, trv::ConvertPath::Ssse3Stream,
        trv::ConvertPath::Avx2, trv::ConvertPath::Avx2Stream};
    return paths;
}

// The plain loop is measured hot only: it is far from memory speed either way.
inline bool MeasuredCold(trv::ConvertPath path) {
    return path != trv::ConvertPath::Plain;
}

inline void WritePathTable(std::FILE* out, const Results& r) {
    for (bool cold : {false, true}) {
        std::fprintf(out, "\n#### Each expansion path, %s\n\n| Frame |", cold ? "cold" : "hot");
        std::string rule = "|---|";
        for (trv::ConvertPath path : AllPaths()) {
            if (!cold || MeasuredCold(path)) {
                std::fprintf(out, " %s |", PathName(path));
                rule += "---:|";
            }
        }
        std::fprintf(out, "\n%s\n", rule.c_str());
        for (const FrameSize& size : Sizes()) {
            std::fprintf(out, "| %s |", size.Name().c_str());
            for (trv::ConvertPath path : AllPaths()) {
                if (!cold || MeasuredCold(path)) {
                    std::fprintf(out, " %s |",
                                 Ms(Find(r, Key(cold, "expand", PathName(path), size))).c_str());
                }
            }
            std::fprintf(out, "\n");
        }
    }
}

inline void WriteCopyTable(std::FILE* out, const Results& r) {
    std::fprintf(out, "\n#### 24-bit copy (Copy24) beside memcpy of the same bytes\n\n");
    std::fprintf(out, "| Frame | bytes | Copy24 hot | memcpy hot | ratio hot | Copy24 cold | "
                      "memcpy cold | ratio cold |\n|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const FrameSize& size : Sizes()) {
        const double* oh = Find(r, Key(false, "copy24", "ours", size));
        const double* mh = Find(r, Key(false, "copy24", "memcpy", size));
        const double* oc = Find(r, Key(true, "copy24", "ours", size));
        const double* mcold = Find(r, Key(true, "copy24", "memcpy", size));
        std::fprintf(out, "| %s | %zu | %s | %s | %s | %s | %s | %s |\n", size.Name().c_str(),
                     3 * size.Pixels(), Ms(oh).c_str(), Ms(mh).c_str(), Ratio(oh, mh).c_str(),
                     Ms(oc).c_str(), Ms(mcold).c_str(), Ratio(oc, mcold).c_str());
    }
}

// A ratio of two cases measured in pairs: short batches of A and B run back to back, in
// alternating order, so that load from elsewhere falls on both sides alike.
struct PairedRatio {
    double median = 0;
    double lowQuartile = 0;
    double highQuartile = 0;
};

using Convert = std::function<void(const uint8_t* in, uint8_t* out)>;

inline void KeepStores(void* p) {
#if defined(__GNUC__) || defined(__clang__)
    __asm__ __volatile__("" : : "g"(p) : "memory");
#else
    static void* volatile sink;
    sink = p;
#endif
}

// Nanoseconds per frame over n frames through the ring, from frame *k on.
inline double TimeFrames(const Convert& convert, BufferRing& ring, size_t n, size_t* k) {
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < n; ++i) {
        convert(ring.In(*k), ring.Out(*k));
        KeepStores(ring.Out(*k));
        *k = *k + 1 == ring.Count() ? 0 : *k + 1;
    }
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(end - start).count() / static_cast<double>(n);
}

inline PairedRatio MeasurePaired(const Convert& a, const Convert& b, size_t inBytes,
                                 size_t outBytes, bool cold, int pairs = 41) {
    BufferRing ring(inBytes, outBytes, cold);
    size_t k = 0;
    TimeFrames(a, ring, ring.Count(), &k);
    TimeFrames(b, ring, ring.Count(), &k);
    // About 10 ms per batch.
    const double once = std::max(TimeFrames(a, ring, 1, &k), TimeFrames(b, ring, 1, &k));
    const size_t n = std::max<size_t>(1, static_cast<size_t>(10e6 / std::max(once, 1.0)));
    std::vector<double> ratios;
    for (int i = 0; i < pairs; ++i) {
        double ta = 0;
        double tb = 0;
        if (i % 2 == 0) {
            ta = TimeFrames(a, ring, n, &k);
            tb = TimeFrames(b, ring, n, &k);
        } else {
            tb = TimeFrames(b, ring, n, &k);
            ta = TimeFrames(a, ring, n, &k);
        }
        ratios.push_back(ta / tb);
    }
    std::sort(ratios.begin(), ratios.end());
    const size_t m = ratios.size();
    return {ratios[m / 2], ratios[m / 4], ratios[(3 * m) / 4]};
}

// Figures of one run, in nanoseconds per frame by Key: the best of the repetitions (other
// load on the machine only ever adds time) and the median; and the paired ratios the targets
// are judged by, keyed "<hot|cold>/<a>-vs-<b>/<size>".
struct Figures {
    Results best;
    Results median;
    std::map<std::string, PairedRatio> paired;
};

inline std::string PairKey(bool cold, const char* pair, const FrameSize& size) {
    return std::string(cold ? "cold/" : "hot/") + pair + "/" + size.Name();
}

// The paired comparisons behind the targets; OpenCV's only where the caller has it.
inline void MeasureTargetPairs(Figures* f, const std::function<Convert(const FrameSize&)>& openCv) {
    for (const FrameSize& size : Sizes()) {
        const size_t pixels = size.Pixels();
        const size_t bytes = 3 * pixels;
        const Convert expand = [pixels](const uint8_t* in, uint8_t* out) {
            trv::ExpandMono8To24(in, out, pixels);
        };
        const Convert copy = [bytes](const uint8_t* in, uint8_t* out) {
            trv::Copy24(in, out, bytes);
        };
        const Convert memcopy = [bytes](const uint8_t* in, uint8_t* out) {
            std::memcpy(out, in, bytes);
        };
        for (bool cold : {false, true}) {
            if (openCv) {
                f->paired[PairKey(cold, "expand-vs-opencv", size)] =
                    MeasurePaired(expand, openCv(size), pixels, bytes, cold);
            }
            f->paired[PairKey(cold, "copy24-vs-memcpy", size)] =
                MeasurePaired(copy, memcopy, bytes, bytes, cold);
        }
    }
}

inline std::string PairText(const Figures& f, const std::string& key, double bound) {
    auto it = f.paired.find(key);
    if (it == f.paired.end()) {
        return "not measured";
    }
    char text[160];
    std::snprintf(text, sizeof text, "%.2f (quartiles %.2f to %.2f): **%s**", it->second.median,
                  it->second.lowQuartile, it->second.highQuartile,
                  it->second.median <= bound ? "met" : "not met");
    return text;
}

// The targets, judged by the paired ratios (41 pairs of about 10 ms batches each).
inline void WriteTargets(std::FILE* out, const Figures& f, const ReportContext& ctx) {
    const FrameSize target{kTargetWidth, kTargetHeight};
    std::fprintf(out, "\n#### Targets\n\nJudged by paired ratios: 41 pairs of batches of about "
                      "10 ms, ours and the peer back to back in alternating order, so that other "
                      "load falls on both alike; the median ratio of the pairs, with its "
                      "quartiles.\n\n");
    if (ctx.haveOpenCv) {
        for (bool cold : {false, true}) {
            std::fprintf(out, "- Expansion at %s, %s, ours / OpenCV <= 1.00: %s.\n",
                         target.Name().c_str(), cold ? "cold" : "hot",
                         PairText(f, PairKey(cold, "expand-vs-opencv", target), 1.0).c_str());
        }
    } else {
        std::fprintf(out, "- Expansion against OpenCV: OpenCV is not part of this build; see the "
                          "native section.\n");
    }
    for (bool cold : {false, true}) {
        std::fprintf(out, "- 24-bit copy, %s, Copy24 / memcpy <= 1.10:", cold ? "cold" : "hot");
        for (const FrameSize& size : Sizes()) {
            std::fprintf(out, " %s %s;", size.Name().c_str(),
                         PairText(f, PairKey(cold, "copy24-vs-memcpy", size), 1.1).c_str());
        }
        std::fprintf(out, "\n");
    }
    if (ctx.haveOpenCv) {
        std::fprintf(out, "\nPaired ours / OpenCV at every size (median, quartiles). Where the "
                          "quartiles lie far apart the pairs disagree and the tables below, "
                          "with one ring of frames per case, are the better guide:");
        for (const FrameSize& size : Sizes()) {
            for (bool cold : {false, true}) {
                auto it = f.paired.find(PairKey(cold, "expand-vs-opencv", size));
                if (it != f.paired.end()) {
                    std::fprintf(out, " %s %s %.2f (%.2f to %.2f);", size.Name().c_str(),
                                 cold ? "cold" : "hot", it->second.median, it->second.lowQuartile,
                                 it->second.highQuartile);
                }
            }
        }
        std::fprintf(out, "\n");
    }
}

inline void WriteFrameReport(std::FILE* out, const Figures& f, const ReportContext& ctx) {
    std::fprintf(out,
                 "\n### %s\n\n%s Streaming stores from %zu output bytes on (half the "
                 "last-level cache that this CPU reports). Tables show the best of the "
                 "repetitions.\n",
                 ctx.title, ctx.method, trv::StreamingThresholdBytes());
    WriteTargets(out, f, ctx);
    WriteExpansionTable(out, f.best, ctx, false);
    WriteExpansionTable(out, f.best, ctx, true);
    WritePathTable(out, f.best);
    WriteCopyTable(out, f.best);
}

} // namespace bench
