// Figures of the end-to-end frame benchmark: order statistics and text formatting.
// Pure code, no OS headers.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// Median, 99th percentile and largest value of a sample; n = 0 when it is empty.
struct Spread {
    size_t n = 0;
    double median = NAN;
    double p99 = NAN;
    double max = NAN;
};

// The value below which `q` of the sorted sample lies (nearest rank).
inline double Quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) {
        return NAN;
    }
    size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(sorted.size())));
    rank = std::clamp<size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

inline Spread SpreadOf(std::vector<double> v) {
    Spread s;
    s.n = v.size();
    if (v.empty()) {
        return s;
    }
    std::sort(v.begin(), v.end());
    s.median = Quantile(v, 0.5);
    s.p99 = Quantile(v, 0.99);
    s.max = v.back();
    return s;
}

inline std::string Format(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// A figure with `decimals` places, or "n/a" when there is none.
inline std::string Num(double v, int decimals = 0) {
    if (std::isnan(v)) {
        return "n/a";
    }
    return Format("%.*f", decimals, v);
}

// Mean of the values in [from, to) of v; NAN when the range is empty.
inline double MeanOf(const std::vector<double>& v, size_t from, size_t to) {
    to = std::min(to, v.size());
    if (from >= to) {
        return NAN;
    }
    double sum = 0;
    for (size_t i = from; i < to; ++i) {
        sum += v[i];
    }
    return sum / static_cast<double>(to - from);
}

} // namespace bench
