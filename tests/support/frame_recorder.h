// What the host's frame callback saw. The callback is a plain function, so the record is
// process-wide; each end-to-end test runs in a process of its own.
#pragma once

#include "frame_pattern.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace trvtest {

struct FrameRecord {
    std::atomic<uint32_t> frames{0};
    std::atomic<uint32_t> bad{0}; // no pixels, a wrong size, or a pattern that does not fit
    std::atomic<int32_t> width{0};
    std::atomic<int32_t> height{0};
    std::atomic<bool> nullAllowed{false}; // a frame event queued before STOP comes without pixels
};

inline FrameRecord gFrameRecord;

// The host's frame callback for colour cameras.
inline void RecordFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size,
                        intptr_t, int32_t) {
    const bool lateAfterStop = pixels == nullptr && gFrameRecord.nullAllowed;
    if (!lateAfterStop && (pixels == nullptr || int64_t{width} * height * 3 != size ||
                           !PatternFits(pixels, size, false))) {
        ++gFrameRecord.bad;
    }
    gFrameRecord.width = width;
    gFrameRecord.height = height;
    ++gFrameRecord.frames;
}

inline void ResetFrameRecord() {
    gFrameRecord.frames = 0;
    gFrameRecord.bad = 0;
    gFrameRecord.width = 0;
    gFrameRecord.height = 0;
    gFrameRecord.nullAllowed = false;
}

// Waits at most `ms` for `n` more frames.
inline bool MoreFrames(uint32_t n, DWORD ms = 5000) {
    const uint32_t target = gFrameRecord.frames + n;
    const DWORD start = GetTickCount();
    while (gFrameRecord.frames < target) {
        if (GetTickCount() - start > ms) {
            return false;
        }
        Sleep(5);
    }
    return true;
}

inline std::string LastFrameSize() {
    return std::to_string(gFrameRecord.width) + "x" + std::to_string(gFrameRecord.height);
}

// Waits for `n` more frames and answers the size of the last, "WxH", or "no frames".
inline std::string NextFrames(uint32_t n) {
    return MoreFrames(n) ? LastFrameSize() : "no frames";
}

} // namespace trvtest
