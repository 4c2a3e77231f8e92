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
        {0x0000, 1, 1}, {0x0003, 2, 2},  {0x0022, 2, 1},  {0x3000, 16, 16},   {0x0400, 1, 8},
        {0x0002, 2, 1}, {0x0001, 1, 2},  {0x0020, 3, 1},  {0x0010, 1, 3},     {0x0008, 4, 1},
        {0x0004, 1, 4}, {0x0080, 5, 1},  {0x0040, 1, 5},  {0x0200, 6, 1},     {0x0100, 1, 6},
        {0x0800, 8, 1}, {0x2000, 16, 1}, {0x1000, 1, 16}, {0xFFFFFFFF, 2, 2}, {0x2801, 8, 2},
        {0xC000, 1, 1},
    };
    for (const Case& c : cases) {
        const trv::Factors f = trv::DecodeFactors(c.bits);
        EXPECT_EQ(f.hx, c.hx) << std::hex << c.bits;
        EXPECT_EQ(f.vx, c.vx) << std::hex << c.bits;
    }
}

trv::AoiLimits Limits() {
    // 2048 x 1536, minimal size 32 x 4, size steps 4 x 2, position steps 2 x 2, origin 0.
    return {2048, 1536, 0, 0, 32, 4, 4, 2, 2, 2};
}

TEST(AoiRules, WorkedExamples) {
    struct Case {
        trv::AoiRect in, out;
    };
    const Case cases[] = {
        {{101, 51, 1002, 503}, {102, 50, 1000, 502}}, // rounded down, centre kept
        {{100, 100, 10, 10}, {88, 100, 32, 10}},      // raised to the minimal width
        {{101, 100, 9, 10}, {90, 100, 32, 10}},       // centre moved by -23 / 2, toward zero
        {{0, 0, 10, 10}, {0, 0, 32, 10}},             // and x raised back to the minimum
        {{0, 0, 5000, 100}, {1476, 0, 2048, 100}},    // past the right edge: sent anyway
        {{-7, -9, 64, 64}, {0, 0, 64, 64}},
    };
    for (const Case& c : cases) {
        const trv::AoiRect r = trv::FitAoi(c.in, Limits());
        EXPECT_EQ(r.x, c.out.x) << c.in.x << "," << c.in.y << " " << c.in.width;
        EXPECT_EQ(r.y, c.out.y);
        EXPECT_EQ(r.width, c.out.width);
        EXPECT_EQ(r.height, c.out.height);
    }
}

TEST(AoiRules, StepsOfZeroOrBelowAreNotRounded) {
    for (int32_t step : {0, -1, -4, INT_MIN}) {
        trv::AoiLimits l = Limits();
        l.widthStep = l.heightStep = l.xStep = l.yStep = step;
        const trv::AoiRect r = trv::FitAoi({101, 51, 1003, 503}, l);
        EXPECT_EQ(r.width, 1003) << step;
        EXPECT_EQ(r.height, 503);
        EXPECT_EQ(r.x, 101);
        EXPECT_EQ(r.y, 51);
    }
}

TEST(AoiRules, ExtremeValuesNeitherOverflowNorDivideByZero) {
    trv::AoiLimits l = {INT_MAX, INT_MAX, INT_MIN, INT_MIN, 0, 0, 3, 7, 5, INT_MAX};
    const trv::AoiRect cases[] = {
        {INT_MAX, INT_MAX, INT_MIN, INT_MIN},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
        {0, 0, 0, 0},
        {INT_MAX, INT_MIN, -1, 1},
    };
    for (const trv::AoiRect& in : cases) {
        const trv::AoiRect r = trv::FitAoi(in, l);
        EXPECT_GE(r.width, 0);
        EXPECT_GE(r.height, 0);
        EXPECT_EQ(r.width % 3, 0);
        EXPECT_EQ(r.height % 7, 0);
    }
    // Inconsistent limits: the maximum is the last bound applied.
    trv::AoiLimits bad = Limits();
    bad.minWidth = 4000;
    EXPECT_EQ(trv::FitAoi({0, 0, 100, 100}, bad).width, 2048);
}

} // namespace
