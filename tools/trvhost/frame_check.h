// What the host reads from the frames of the simulated camera's picture: its frame number, in
// the first four and the last four bytes of the camera's image memory. Pure code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trvhost {

struct FrameCounts {
    uint64_t frames = 0;
    uint64_t wrongSize = 0; // no pixels, or a size other than width x height x 3
    uint64_t repeated = 0;  // the number of the frame before
    uint64_t skipped = 0;   // numbers missing between two frames
    uint64_t torn = 0;      // start and end of different frames
    uint64_t restarts = 0;  // a new image size, or numbers going back (another camera)
};

// The two numbers of a 24-bit frame of `size` bytes. An 8-bit camera's frame holds each memory
// byte three times; it is taken for one when the twelve bytes at both ends come in threes.
// False when the frame is too small to hold them.
bool ReadFrameNumbers(const unsigned char* pixels, size_t size, uint32_t& first, uint32_t& last);

class FrameChecker {
  public:
    void Add(const unsigned char* pixels, int32_t width, int32_t height, int32_t size);
    const FrameCounts& Counts() const { return m_counts; }
    uint32_t LastNumber() const { return m_last; }

  private:
    FrameCounts m_counts;
    bool m_started = false;
    uint32_t m_last = 0;
    int32_t m_width = 0, m_height = 0;
};

} // namespace trvhost
