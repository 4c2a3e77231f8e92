// Area-of-interest fitting: any limits and any request give a rectangle on the steps, with no
// overflow and no division by a step of 0 or below.
#include "camera/aoi_rules.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t v[14] = {};
    std::memcpy(v, data, size < sizeof v ? size : sizeof v);
    const trv::AoiLimits l{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]};
    const trv::AoiRect r = trv::FitAoi({v[10], v[11], v[12], v[13]}, l);
    const auto onStep = [](int64_t value, int32_t step) {
        return step <= 0 || value == INT32_MIN || value == INT32_MAX || value % step == 0;
    };
    if (!onStep(r.width, l.widthStep) || !onStep(r.height, l.heightStep)) {
        std::abort();
    }
    if (l.minWidth <= l.maxWidth && l.widthStep <= 0 &&
        (r.width < l.minWidth || r.width > l.maxWidth)) {
        std::abort(); // without rounding the width stays within its bounds
    }
    return 0;
}
