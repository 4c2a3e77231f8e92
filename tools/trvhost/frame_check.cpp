#include "frame_check.h"

namespace trvhost {

namespace {

uint32_t Number(const unsigned char* p, size_t step) {
    uint32_t n = 0;
    for (size_t i = 0; i < 4; ++i) {
        n |= static_cast<uint32_t>(p[i * step]) << (8 * i);
    }
    return n;
}

bool InThrees(const unsigned char* p) {
    for (size_t i = 0; i < 12; i += 3) {
        if (p[i + 1] != p[i] || p[i + 2] != p[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool ReadFrameNumbers(const unsigned char* pixels, size_t size, uint32_t& first, uint32_t& last) {
    if (pixels == nullptr || size < 24) {
        return false;
    }
    const bool mono = InThrees(pixels) && InThrees(pixels + size - 12);
    const size_t step = mono ? 3 : 1;
    first = Number(pixels, step);
    last = Number(pixels + size - 4 * step, step);
    return true;
}

void FrameChecker::Add(const unsigned char* pixels, int32_t width, int32_t height, int32_t size) {
    ++m_counts.frames;
    if (pixels == nullptr || width <= 0 || height <= 0 ||
        static_cast<int64_t>(width) * height * 3 != size) {
        ++m_counts.wrongSize;
        return;
    }
    uint32_t first = 0, last = 0;
    if (!ReadFrameNumbers(pixels, static_cast<size_t>(size), first, last)) {
        return;
    }
    if (first != last) {
        ++m_counts.torn;
    }
    if (!m_started || width != m_width || height != m_height || first < m_last) {
        m_counts.restarts += m_started ? 1 : 0;
    } else if (first == m_last) {
        ++m_counts.repeated;
    } else {
        m_counts.skipped += first - m_last - 1;
    }
    m_started = true;
    m_last = first;
    m_width = width;
    m_height = height;
}

} // namespace trvhost
