#include "binning_rules.h"

namespace trv {

namespace {

struct Row {
    uint32_t horizontalBit;
    uint32_t verticalBit;
    int32_t factor;
};

constexpr Row kRows[] = {
    {0x0002, 0x0001, 2}, {0x0020, 0x0010, 3}, {0x0008, 0x0004, 4},  {0x0080, 0x0040, 5},
    {0x0200, 0x0100, 6}, {0x0800, 0x0400, 8}, {0x2000, 0x1000, 16},
};

} // namespace

Factors DecodeFactors(uint32_t bits) {
    Factors f{1, 1};
    for (const Row& r : kRows) {
        if ((bits & r.horizontalBit) != 0) {
            f.hx = r.factor;
            break;
        }
    }
    for (const Row& r : kRows) {
        if ((bits & r.verticalBit) != 0) {
            f.vx = r.factor;
            break;
        }
    }
    return f;
}

} // namespace trv
