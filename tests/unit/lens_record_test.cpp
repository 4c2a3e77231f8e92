#include "lensdata/lens_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// A stored record: version 1.2, range 3, model 0x0A0B0C0D, output 1 scale 80 base 20,
// output 0 scale 50 base 7, calibration `c` in unit `units`.
std::vector<uint8_t> Stored(double c = 0.0055, uint8_t units = 2) {
    std::vector<uint8_t> d(41, 0);
    d[0] = 1;
    d[1] = 2;
    d[2] = 3;
    d[3] = 0x0D;
    d[4] = 0x0C;
    d[5] = 0x0B;
    d[6] = 0x0A;
    d[16] = 80;
    d[17] = 20;
    d[19] = 50;
    d[20] = 7;
    std::memcpy(&d[32], &c, 8);
    d[40] = units;
    return d;
}

// The record is byte-packed: its fields are compared by value (unary +), never by reference.
TEST(LensRecord, ParsesTheFieldsAtTheirOffsets) {
    trv::PraxLensRecord r;
    const std::vector<uint8_t> d = Stored();
    ASSERT_TRUE(trv::ParsePraxRecord(d.data(), d.size(), &r));
    EXPECT_EQ(+r.datasetMajor, 1);
    EXPECT_EQ(+r.datasetMinor, 2);
    EXPECT_EQ(+r.productRange, 3);
    EXPECT_EQ(+r.modelNumber, 0x0A0B0C0Du) << "little-endian";
    EXPECT_EQ(+r.output1Scale, 80);
    EXPECT_EQ(+r.output1Base, 20);
    EXPECT_EQ(+r.output0Scale, 50);
    EXPECT_EQ(+r.output0Base, 7);
    EXPECT_EQ(+r.calibration, 0.0055);
    EXPECT_EQ(+r.calibrationUnits, 2);
}

TEST(LensRecord, EveryLengthFromZeroToSixtyFour) {
    // Only a whole record counts; a shorter one leaves the record all zero. The buffer is
    // exactly `length` bytes long, so ASan catches any read past it.
    for (size_t length = 0; length <= 64; ++length) {
        std::vector<uint8_t> d = Stored();
        d.resize(length, 0xEE);
        trv::PraxLensRecord r;
        std::memset(&r, 0x55, sizeof r);
        const bool ok = trv::ParsePraxRecord(length ? d.data() : nullptr, length, &r);
        EXPECT_EQ(ok, length >= 41) << length;
        if (!ok) {
            const trv::PraxLensRecord zero = {};
            EXPECT_EQ(std::memcmp(&r, &zero, sizeof r), 0) << length;
        }
    }
}

TEST(LensRecord, OnlyDatasetMajorOneIsUsed) {
    for (uint8_t major : {0, 2, 255}) {
        std::vector<uint8_t> d = Stored();
        d[0] = major;
        trv::PraxLensRecord r;
        EXPECT_FALSE(trv::ParsePraxRecord(d.data(), d.size(), &r));
        EXPECT_EQ(+r.datasetMajor, 0) << "the copy stays all zero";
        EXPECT_EQ(+r.calibration, 0.0);
    }
}

TEST(LensRecord, ResolutionByUnitCode) {
    struct Case {
        double c;
        uint32_t units;
        double res;
    };
    const Case cases[] = {
        {0.0055, 2, 5.5}, {4.4, 3, 4.4}, {2e-6, 1, 2.0},  {1.5, 4, 15.0}, {2.0, 5, 50.8},
        {7.0, 0, 7.0},    {7.0, 6, 7.0}, {7.0, 255, 7.0}, {0.0, 2, 0.0},  {-0.001, 2, -1.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(trv::PraxResolution(c.c, c.units), c.res, 1e-12) << c.c << " " << c.units;
    }
}

TEST(LensRecord, OutputLevelsAndLimits) {
    trv::PraxLensRecord r;
    const std::vector<uint8_t> d = Stored();
    ASSERT_TRUE(trv::ParsePraxRecord(d.data(), d.size(), &r));
    trv::PraxOutputParams p = trv::PraxOutputsFromRecord(r);
    EXPECT_EQ(+p.adBase[0], 7000.0);
    EXPECT_EQ(+p.adBase[1], 20000.0);
    EXPECT_EQ(+p.adScale[0], 0.5);
    EXPECT_EQ(+p.adScale[1], 0.8);
    trv::LowerPraxBasesTo(&p, 10000.0);
    EXPECT_EQ(+p.adBase[1], 10000.0) << "an upper limit of 10000 lowers 20000";
    EXPECT_EQ(+p.adBase[0], 7000.0);
    trv::RaisePraxBasesTo(&p, 8000.0);
    EXPECT_EQ(+p.adBase[0], 8000.0);
    trv::RaisePraxBasesTo(&p, std::numeric_limits<double>::quiet_NaN());
    trv::LowerPraxBasesTo(&p, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(+p.adBase[0], 8000.0) << "a NaN limit changes nothing";

    EXPECT_EQ(trv::BoundLevelPercent(150.0), 100.0);
    EXPECT_EQ(trv::BoundLevelPercent(-3.0), 0.0);
    EXPECT_EQ(trv::BoundLevelPercent(42.5), 42.5);
    EXPECT_EQ(trv::BoundLevelPercent(std::nan("")), 0.0);
    EXPECT_DOUBLE_EQ(trv::PraxOutputLevel(100.0, 0.8), 0.8);
    EXPECT_EQ(trv::PraxOutputLevel(0.0, 0.8), 0.0);

    for (int32_t type : {0, 1}) {
        EXPECT_TRUE(trv::IsPraxOutput(type));
    }
    for (int32_t type : {-1, 2, INT32_MIN, INT32_MAX}) {
        EXPECT_FALSE(trv::IsPraxOutput(type)) << type;
    }
}

TEST(LensRecord, BufferSizeNeverOverflows) {
    size_t bytes = 0;
    ASSERT_TRUE(trv::PraxBufferBytes(41, &bytes));
    EXPECT_EQ(bytes, 42u);
    ASSERT_TRUE(trv::PraxBufferBytes(0, &bytes));
    EXPECT_EQ(bytes, 1u);
    EXPECT_FALSE(trv::PraxBufferBytes(0xFFFFFFFFu, &bytes));
}

} // namespace
