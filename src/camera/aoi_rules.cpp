#include "aoi_rules.h"

namespace trv {

namespace {

int32_t Clamp32(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

// Raised to the minimum, then lowered to the maximum: with inconsistent limits the maximum wins.
int64_t Bound(int64_t v, int64_t low, int64_t high) {
    if (v < low) {
        v = low;
    }
    if (v > high) {
        v = high;
    }
    return v;
}

// Rounds down to a multiple of `step` (toward minus infinity), as counting down one at a time
// would; a step of 0 or below leaves the value alone.
int64_t RoundDown(int64_t v, int64_t step) {
    if (step <= 0) {
        return v;
    }
    int64_t r = v % step;
    if (r < 0) {
        r += step;
    }
    return v - r;
}

} // namespace

AoiRect FitAoi(AoiRect requested, const AoiLimits& limits) {
    const int64_t w0 = requested.width;
    const int64_t h0 = requested.height;
    int64_t w = Bound(w0, limits.minWidth, limits.maxWidth);
    int64_t h = Bound(h0, limits.minHeight, limits.maxHeight);
    w = RoundDown(w, limits.widthStep);
    h = RoundDown(h, limits.heightStep);
    int64_t x = static_cast<int64_t>(requested.x) + (w0 - w) / 2;
    int64_t y = static_cast<int64_t>(requested.y) + (h0 - h) / 2;
    if (x < limits.minX) {
        x = limits.minX;
    }
    if (y < limits.minY) {
        y = limits.minY;
    }
    x = RoundDown(x, limits.xStep);
    y = RoundDown(y, limits.yStep);
    return {Clamp32(x), Clamp32(y), Clamp32(w), Clamp32(h)};
}

} // namespace trv
