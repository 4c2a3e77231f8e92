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
// next frames into the same memory while the plug-in may still be copying (the number, in the
// first bytes, is written last), so a byte of one of the next `later` frames counts as well;
// a byte at a wrong place or of an earlier frame does not.
inline bool PatternFits(const unsigned char* pixels, int32_t size, bool mono, size_t stride = 997,
                        uint32_t later = 1) {
    if (pixels == nullptr || size < 12 || stride == 0) {
        return false;
    }
    const size_t memoryBytes = static_cast<size_t>(size) / (mono ? 3 : 1);
    const uint32_t n = FrameNumber(pixels, mono);
    for (size_t i = 4; i < memoryBytes; i += stride) {
        const unsigned char* p = pixels + (mono ? 3 * i : i);
        bool fits = false;
        for (uint32_t k = 0; k <= later && !fits; ++k) {
            fits = p[0] == sim_pattern_byte(n + k, i);
        }
        if (!fits) {
            return false;
        }
        if (mono && (p[1] != p[0] || p[2] != p[0])) {
            return false;
        }
    }
    return true;
}

} // namespace trvtest
