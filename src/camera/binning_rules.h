// Decoding of binning and subsampling answers into factors. Pure code.
#pragma once

#include <cstdint>

namespace trv {

struct Factors {
    int32_t hx;
    int32_t vx;
};

// Each direction on its own: the first matching row gives the factor, otherwise 1.
Factors DecodeFactors(uint32_t bits);

} // namespace trv
