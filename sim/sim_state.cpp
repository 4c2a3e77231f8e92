#include "sim_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace sim {

namespace {

constexpr size_t kMostJournalLines = 1000000;

// The cameras the library starts with: from TRV_SIM_CONFIG, else one colour camera.
void Configure(State& s) {
    char path[1024] = {};
    if (GetEnvironmentVariableA("TRV_SIM_CONFIG", path, sizeof path) == 0 || path[0] == 0) {
        s.cameras.push_back(MakeCamera(sim_camera("4002870123", 1, 2, 1280, 1024), s.fps));
        return;
    }
    // Every key of a section, as "key=value\0...\0\0".
    auto keys = [&](const char* section) {
        std::vector<char> text(32768, 0);
        GetPrivateProfileSectionA(section, text.data(), static_cast<DWORD>(text.size()), path);
        std::vector<std::pair<std::string, std::string>> out;
        for (const char* p = text.data(); *p != 0; p += std::strlen(p) + 1) {
            const std::string line = p;
            const size_t eq = line.find('=');
            if (eq != std::string::npos) {
                out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
            }
        }
        return out;
    };
    for (const auto& [key, value] : keys("library")) {
        ApplyLibraryKey(s, key, value);
    }
    for (int n = 1; n <= 8; ++n) {
        const auto section = keys(("camera" + std::to_string(n)).c_str());
        if (section.empty()) {
            continue;
        }
        Camera c = MakeCamera(sim_camera("", static_cast<uint32_t>(n), 2, 1280, 1024), s.fps);
        // The sensor size first: it resets the limits that later keys may set.
        for (const char* first : {"width", "height"}) {
            for (const auto& [key, value] : section) {
                if (key == first) {
                    ApplyKey(c, key, value, false);
                }
            }
        }
        for (const auto& [key, value] : section) {
            if (key != "width" && key != "height") {
                ApplyKey(c, key, value, false);
            }
        }
        if (c.config.serial[0] != 0) {
            s.cameras.push_back(c);
        }
    }
}

} // namespace

State& Get() {
    static State* state = [] {
        State* s = new State; // lives to process end: the live thread may still use it
        Configure(*s);
        return s;
    }();
    return *state;
}

Camera MakeCamera(const SimCamera& config, double fps) {
    Camera c;
    c.config = config;
    const int32_t w = static_cast<int32_t>(config.maxWidth);
    const int32_t h = static_cast<int32_t>(config.maxHeight);
    c.sizeMax = {w, h};
    c.p.aoi = {0, 0, w, h};
    c.p.fps = fps;
    return c;
}

void DeleteBlock(State& s, char* block) {
    if (s.writing.count(block) != 0) {
        s.freeAfterWrite.insert(block);
    } else {
        delete[] block;
    }
}

Camera* Open(State& s, uint32_t handle) {
    for (Camera& c : s.cameras) {
        if (handle != 0 && c.handle == handle) {
            return &c;
        }
    }
    return nullptr;
}

void Journal(State& s, const std::string& line) {
    if (s.journal.size() < kMostJournalLines) {
        s.journal.push_back(line);
    }
}

std::string Format(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

Pair Factors(uint32_t bits) {
    // Horizontal and vertical bits of each factor; the smallest factor set wins.
    static const struct {
        uint32_t horizontal, vertical;
        int32_t factor;
    } kFactors[] = {{0x0002, 0x0001, 2}, {0x0020, 0x0010, 3}, {0x0008, 0x0004, 4},
                    {0x0080, 0x0040, 5}, {0x0200, 0x0100, 6}, {0x0800, 0x0400, 8},
                    {0x2000, 0x1000, 16}};
    Pair f{1, 1};
    for (auto it = std::rbegin(kFactors); it != std::rend(kFactors); ++it) {
        if (bits & it->horizontal) {
            f.a = it->factor;
        }
        if (bits & it->vertical) {
            f.b = it->factor;
        }
    }
    return f;
}

ImageFormat CurrentFormat(const Camera& c) {
    const Pair bin = Factors(c.p.binning);
    const Pair sub = Factors(c.p.subsampling);
    const int32_t w = c.p.full.a != 0 ? static_cast<int32_t>(c.config.maxWidth) : c.p.aoi.w;
    const int32_t h = c.p.full.b != 0 ? static_cast<int32_t>(c.config.maxHeight) : c.p.aoi.h;
    int32_t mode = c.colorMode;
    if (mode == 0) {
        mode = c.config.colorKind == 2 || c.config.colorKind == 4 ? 1 : 6;
    }
    return {w / bin.a / sub.a, h / bin.b / sub.b, mode == 1 ? 24 : 8};
}

bool AcceptsAoi(const Camera& c, const Rect& r) {
    auto onStep = [](int64_t v, int32_t step) { return step <= 0 || v % step == 0; };
    const int64_t right = static_cast<int64_t>(r.x) + r.w;
    const int64_t bottom = static_cast<int64_t>(r.y) + r.h;
    return r.w >= c.sizeMin.a && r.h >= c.sizeMin.b && r.w <= c.sizeMax.a && r.h <= c.sizeMax.b &&
           r.x >= c.posMin.a && r.y >= c.posMin.b && onStep(r.w, c.sizeStep.a) &&
           onStep(r.h, c.sizeStep.b) && onStep(r.x, c.posStep.a) && onStep(r.y, c.posStep.b) &&
           right <= static_cast<int64_t>(c.posMin.a) + c.sizeMax.a &&
           bottom <= static_cast<int64_t>(c.posMin.b) + c.sizeMax.b;
}

double BoundExposure(const Camera& c, double ms) {
    double v = ms;
    if (!(v >= c.exposureRange.min)) {
        v = c.exposureRange.min; // also NaN
    }
    if (v > c.exposureRange.max) {
        v = c.exposureRange.max;
    }
    const double period = c.p.fps > 0.0 ? 1000.0 / c.p.fps : v;
    return v > period ? period : v;
}

int64_t NowUs() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<int64_t>(now.QuadPart / frequency * 1000000 +
                                now.QuadPart % frequency * 1000000 / frequency);
}

} // namespace sim
