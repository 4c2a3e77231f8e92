// The simulator's test pattern as a delivered frame shows it: memory byte i is frame byte i
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

// Every `stride`-th memory byte holds the pattern of the frame's number. The camera writes its
// next frame into the same memory while the plug-in may still be copying, so a byte of the
// next frame counts as well; a byte at a wrong place or of any other frame does not.
inline bool PatternFits(const unsigned char* pixels, int32_t size, bool mono, size_t stride = 997) {
    if (pixels == nullptr || size < 12 || stride == 0) {
        return false;
    }
    const size_t memoryBytes = static_cast<size_t>(size) / (mono ? 3 : 1);
    const uint32_t n = FrameNumber(pixels, mono);
    for (size_t i = 4; i < memoryBytes; i += stride) {
        const unsigned char* p = pixels + (mono ? 3 * i : i);
        if (p[0] != sim_pattern_byte(n, i) && p[0] != sim_pattern_byte(n + 1, i)) {
            return false;
        }
        if (mono && (p[1] != p[0] || p[2] != p[0])) {
            return false;
        }
    }
    return true;
}

} // namespace trvtest
