#include "frame_check.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Frame {
    uint32_t first, last;
    int32_t width = 16;
    bool mono = false;
    int32_t sizeError = 0;
};

// A 24-bit frame with the two numbers where the simulated camera's memory holds them; the
// picture between them is not grey, an 8-bit frame's is.
std::vector<unsigned char> Bytes(const Frame& f) {
    const size_t memory = static_cast<size_t>(f.width) * 4 * (f.mono ? 1 : 3);
    std::vector<unsigned char> m(memory);
    for (size_t i = 0; i < memory; ++i) {
        m[i] = static_cast<unsigned char>(40 + i % 3 * 80);
    }
    for (size_t i = 0; i < 4; ++i) {
        m[i] = static_cast<unsigned char>(f.first >> (8 * i));
        m[memory - 4 + i] = static_cast<unsigned char>(f.last >> (8 * i));
    }
    if (!f.mono) {
        return m;
    }
    std::vector<unsigned char> out;
    for (unsigned char b : m) {
        out.insert(out.end(), 3, b);
    }
    return out;
}

TEST(TrvhostFrames, CountsRepeatedSkippedAndTornFrames) {
    struct Case {
        const char* what;
        std::vector<Frame> frames;
        trvhost::FrameCounts want; // frames, wrong size, repeated, skipped, torn, restarts
    } cases[] = {
        {"in order", {{1, 1}, {2, 2}, {3, 3}}, {3, 0, 0, 0, 0, 0}},
        {"repeated, then two skipped", {{5, 5}, {5, 5}, {8, 8}}, {3, 0, 1, 2, 0, 0}},
        {"end from the next frame", {{7, 7}, {8, 9}}, {2, 0, 0, 0, 1, 0}},
        {"8-bit frames read in threes", {{1, 1, 16, true}, {3, 3, 16, true}}, {2, 0, 0, 1, 0, 0}},
        {"a new size starts again", {{10, 10}, {2, 2, 32}}, {2, 0, 0, 0, 0, 1}},
        {"numbers going back start again", {{9, 9}, {3, 3}, {4, 4}}, {3, 0, 0, 0, 0, 1}},
        {"a wrong size is not read", {{1, 1}, {2, 2, 16, false, 3}, {2, 2}}, {3, 1, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        trvhost::FrameChecker check;
        for (const Frame& f : c.frames) {
            const std::vector<unsigned char> b = Bytes(f);
            check.Add(b.data(), f.width, 4, static_cast<int32_t>(b.size()) + f.sizeError);
        }
        const trvhost::FrameCounts& n = check.Counts();
        EXPECT_EQ(n.frames, c.want.frames);
        EXPECT_EQ(n.wrongSize, c.want.wrongSize);
        EXPECT_EQ(n.repeated, c.want.repeated);
        EXPECT_EQ(n.skipped, c.want.skipped);
        EXPECT_EQ(n.torn, c.want.torn);
        EXPECT_EQ(n.restarts, c.want.restarts);
    }
}

} // namespace
