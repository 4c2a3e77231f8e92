#include "lensdata/lens_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Version 1.2, range 3, model 0x0A0B0C0D, output 1 scale 80 base 20, output 0 scale 50 base 7,
// calibration 0.0055 in unit 2. The record is byte-packed: fields compared by value (unary +).
std::vector<uint8_t> Stored() {
    std::vector<uint8_t> d(41, 0);
    const uint8_t head[] = {1, 2, 3, 0x0D, 0x0C, 0x0B, 0x0A};
    std::memcpy(d.data(), head, sizeof head);
    d[16] = 80, d[17] = 20, d[19] = 50, d[20] = 7, d[40] = 2;
    const double c = 0.0055;
    std::memcpy(&d[32], &c, 8);
    return d;
}

// Records of every length are the fuzz target's (its corpus: 40 and 41 bytes).
TEST(LensRecord, FieldsOfAVersionOneRecord) {
    trv::PraxLensRecord r;
    std::vector<uint8_t> d = Stored();
    ASSERT_TRUE(trv::ParsePraxRecord(d.data(), d.size(), &r));
    EXPECT_EQ(+r.datasetMajor * 100 + r.datasetMinor * 10 + r.productRange, 123);
    EXPECT_EQ(+r.modelNumber, 0x0A0B0C0Du) << "little-endian";
    EXPECT_EQ(+r.output1Scale * 1000 + r.output1Base, 80020);
    EXPECT_EQ(+r.output0Scale * 1000 + r.output0Base, 50007);
    EXPECT_EQ(+r.calibration, 0.0055);
    EXPECT_EQ(+r.calibrationUnits, 2);
    d[0] = 2;
    EXPECT_FALSE(trv::ParsePraxRecord(d.data(), d.size(), &r));
    EXPECT_EQ(+r.datasetMajor, 0) << "the copy stays all zero";
}

TEST(LensRecord, ResolutionLevelsAndLimits) {
    struct Case {
        double c;
        uint32_t units;
        double res;
    };
    for (const Case& c :
         {Case{0.0055, 2, 5.5}, Case{4.4, 3, 4.4}, Case{2e-6, 1, 2.0}, Case{1.5, 4, 15.0},
          Case{2.0, 5, 50.8}, Case{7.0, 0, 7.0}, Case{7.0, 6, 7.0}, Case{-0.001, 2, -1.0}}) {
        EXPECT_NEAR(trv::PraxResolution(c.c, c.units), c.res, 1e-12) << c.c << " " << c.units;
    }
    trv::PraxLensRecord r;
    const std::vector<uint8_t> d = Stored();
    ASSERT_TRUE(trv::ParsePraxRecord(d.data(), d.size(), &r));
    trv::PraxOutputParams p = trv::PraxOutputsFromRecord(r);
    EXPECT_EQ(+p.adBase[0], 7000.0);
    EXPECT_EQ(+p.adBase[1], 20000.0);
    EXPECT_EQ(+p.adScale[1], 0.8);
    trv::LowerPraxBasesTo(&p, 10000.0);
    trv::RaisePraxBasesTo(&p, 8000.0);
    trv::RaisePraxBasesTo(&p, std::nan(""));
    trv::LowerPraxBasesTo(&p, std::nan(""));
    EXPECT_EQ(+p.adBase[0], 8000.0) << "a NaN limit changes nothing";
    EXPECT_EQ(+p.adBase[1], 10000.0);
    EXPECT_EQ(trv::BoundLevelPercent(150.0), 100.0);
    EXPECT_EQ(trv::BoundLevelPercent(std::nan("")), 0.0);
    EXPECT_TRUE(trv::IsPraxOutput(0) && trv::IsPraxOutput(1));
    EXPECT_FALSE(trv::IsPraxOutput(-1) || trv::IsPraxOutput(2) || trv::IsPraxOutput(INT32_MIN));
}

} // namespace
