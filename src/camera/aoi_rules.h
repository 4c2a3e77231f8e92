// Bringing a requested area of interest within the camera's limits and steps. Pure code.
#pragma once

#include <cstdint>

namespace trv {

struct AoiLimits {
    int32_t maxWidth, maxHeight;
    int32_t minX, minY;
    int32_t minWidth, minHeight;
    int32_t widthStep, heightStep; // 0 or below: no rounding
    int32_t xStep, yStep;          // 0 or below: no rounding
};

struct AoiRect {
    int32_t x, y, width, height;
};

// Bounds the size, rounds it down to the steps, keeps the centre, then bounds and rounds the
// position. The right and bottom edges are left for the camera to judge.
AoiRect FitAoi(AoiRect requested, const AoiLimits& limits);

} // namespace trv
