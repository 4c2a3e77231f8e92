#include "camera/aoi_rules.h"
#include "camera/binning_rules.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(BinningRules, DecodesEachDirectionByTheFirstMatchingRow) {
    struct Case {
        uint32_t bits;
        int32_t hx, vx;
    };
    const Case cases[] = {
        {0x0000, 1, 1},  {0x0003, 2, 2},  {0x0022, 2, 1},     {0x3000, 16, 16}, {0x0400, 1, 8},
        {0x0001, 1, 2},  {0x0020, 3, 1},  {0x0010, 1, 3},     {0x0008, 4, 1},   {0x0004, 1, 4},
        {0x0080, 5, 1},  {0x0040, 1, 5},  {0x0200, 6, 1},     {0x0100, 1, 6},   {0x0800, 8, 1},
        {0x2000, 16, 1}, {0x1000, 1, 16}, {0xFFFFFFFF, 2, 2}, {0x2801, 8, 2},   {0xC000, 1, 1},
    };
    for (const Case& c : cases) {
        const trv::Factors f = trv::DecodeFactors(c.bits);
        EXPECT_EQ(f.hx, c.hx) << std::hex << c.bits;
        EXPECT_EQ(f.vx, c.vx) << std::hex << c.bits;
    }
}

TEST(AoiRules, BoundedRoundedAndCentred) {
    // 2048 x 1536, minimal size 32 x 4, size steps 4 x 2, position steps 2 x 2, origin 0,
    // or origin -100 where minX is -100.
    struct Case {
        int32_t minX;
        trv::AoiRect in, out;
    };
    const Case cases[] = {
        {0, {101, 51, 1002, 503}, {102, 50, 1000, 502}}, // rounded down, centre kept
        {0, {100, 100, 10, 10}, {88, 100, 32, 10}},      // raised to the minimal width
        {0, {100, 100, 11, 3}, {90, 100, 32, 4}},        // odd and negative: toward zero
        {0, {0, 0, 10, 10}, {0, 0, 32, 10}},             // x raised back to the minimum
        {0, {0, 0, 5000, 100}, {1476, 0, 2048, 100}},    // past the right edge: sent anyway
        {0, {-7, -9, 64, 64}, {0, 0, 64, 64}},
        {-100, {-5, -7, 64, 64}, {-6, -8, 64, 64}}, // negative positions rounded down
        {-100, {-100, 0, 10, 10}, {-100, 0, 32, 10}},
    };
    for (const Case& c : cases) {
        const trv::AoiLimits l = {2048, 1536, c.minX, c.minX, 32, 4, 4, 2, 2, 2};
        const trv::AoiRect r = trv::FitAoi(c.in, l);
        EXPECT_EQ(r.x, c.out.x) << c.in.x << "," << c.in.y << " " << c.in.width << "x"
                                << c.in.height;
        EXPECT_EQ(r.y, c.out.y) << c.in.x << "," << c.in.y << " " << c.in.width << "x"
                                << c.in.height;
        EXPECT_EQ(r.width, c.out.width) << c.in.width;
        EXPECT_EQ(r.height, c.out.height) << c.in.height;
    }
    for (int32_t step : {0, -1, INT_MIN}) { // no rounding, no division
        const trv::AoiRect r =
            trv::FitAoi({101, 51, 1003, 503}, {2048, 1536, 0, 0, 32, 4, step, step, step, step});
        EXPECT_EQ(r.x * 10000 + r.width, 1011003) << step;
        EXPECT_EQ(r.y * 10000 + r.height, 510503) << step;
    }
    // Inconsistent limits: the maximum is the last bound applied.
    EXPECT_EQ(trv::FitAoi({0, 0, 100, 100}, {2048, 1536, 0, 0, 4000, 4, 4, 2, 2, 2}).width, 2048);
}

} // namespace
