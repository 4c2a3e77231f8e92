#include "frame_convert.h"

#include <cstring>

namespace trv {

void ExpandMono8To24Plain(const uint8_t* src, uint8_t* dst, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t v = src[i];
        dst[3 * i] = v;
        dst[3 * i + 1] = v;
        dst[3 * i + 2] = v;
    }
}

void ExpandMono8To24(const uint8_t* src, uint8_t* dst, size_t pixels) {
    ExpandMono8To24Plain(src, dst, pixels);
}

void Copy24(const uint8_t* src, uint8_t* dst, size_t bytes) { std::memcpy(dst, src, bytes); }

} // namespace trv
