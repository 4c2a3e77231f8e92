// The simulator's frame numbers as a delivered frame shows them: memory byte i is frame byte i
// of a 24-bit frame, or frame bytes 3i, 3i+1 and 3i+2 of an expanded 8-bit frame.
#pragma once

#include "sim_control.h"

#include <cstddef>
#include <cstdint>

namespace trvtest {

inline uint32_t FrameNumber(const unsigned char* pixels, bool mono) {
    uint32_t n = 0;
    for (int b = 0; b < 4; ++b) {
        n |= static_cast<uint32_t>(pixels[mono ? 3 * b : b]) << (8 * b);
    }
    return n;
}

// The frame number in the last four memory bytes (the bottom row's last pixels).
inline uint32_t LastFrameNumber(const unsigned char* pixels, int32_t size, bool mono) {
    const size_t memoryBytes = static_cast<size_t>(size) / (mono ? 3 : 1);
    return FrameNumber(pixels + (memoryBytes - 4) * (mono ? 3 : 1), mono);
}

// The frame is whole: the number at its end is the one at its start. The camera writes its
// next frames into the same memory while the plug-in may still be copying (the number at the
// start is written last), so a number of one of the next `later` frames counts as well; an
// earlier one, or one at a wrong place, does not. A monochrome frame has three equal bytes at
// every `stride`-th pixel.
inline bool PatternFits(const unsigned char* pixels, int32_t size, bool mono, size_t stride = 997,
                        uint32_t later = 1) {
    if (pixels == nullptr || size < 24 || stride == 0) {
        return false;
    }
    const uint32_t n = FrameNumber(pixels, mono);
    if (LastFrameNumber(pixels, size, mono) - n > later) {
        return false;
    }
    for (size_t i = 0; mono && i < static_cast<size_t>(size) / 3; i += stride) {
        const unsigned char* p = pixels + 3 * i;
        if (p[1] != p[0] || p[2] != p[0]) {
            return false;
        }
    }
    return true;
}

} // namespace trvtest
