#include "acquisition/frame_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

using trv::ConvertPath;

constexpr size_t kMaxPixels = 300;
constexpr size_t kMaxOffset = 31;
constexpr size_t kGuard = 64;
constexpr uint8_t kGuardByte = 0xA5;

// One allocation for src, one for dst with guard bytes on both sides; the offsets shift the
// start of each inside its buffer, so every alignment against the vector width comes by.
class Buffers {
  public:
    Buffers()
        : m_src(kMaxOffset + kMaxPixels), m_dst(kGuard + kMaxOffset + 3 * kMaxPixels + kGuard) {
        std::mt19937 rng(20240611);
        for (uint8_t& b : m_src) {
            b = static_cast<uint8_t>(rng());
        }
    }
    const uint8_t* Src(size_t offset) const { return m_src.data() + offset; }
    uint8_t* Dst(size_t offset) {
        std::memset(m_dst.data(), kGuardByte, m_dst.size());
        return m_dst.data() + kGuard + offset;
    }
    // Guard bytes outside [offset, offset + bytes) of the dst area still hold their value.
    bool GuardsIntact(size_t offset, size_t bytes) const {
        const size_t begin = kGuard + offset;
        for (size_t i = 0; i < m_dst.size(); ++i) {
            if ((i < begin || i >= begin + bytes) && m_dst[i] != kGuardByte) {
                return false;
            }
        }
        return true;
    }

  private:
    std::vector<uint8_t> m_src;
    std::vector<uint8_t> m_dst;
};

// Every length 0..300 at every offset pair 0..31 of src and dst, against the plain loop.
template <class Expand> void CheckAgainstPlain(Expand expand) {
    Buffers actual;
    Buffers expected;
    size_t failures = 0;
    for (size_t pixels = 0; pixels <= kMaxPixels; ++pixels) {
        for (size_t so = 0; so <= kMaxOffset; ++so) {
            // Source of exactly so + pixels bytes: under AddressSanitizer a read past its
            // end is caught.
            const std::vector<uint8_t> exact(actual.Src(0), actual.Src(so + pixels));
            const uint8_t* src = exact.data() + so;
            for (size_t dof = 0; dof <= kMaxOffset; ++dof) {
                uint8_t* want = expected.Dst(dof);
                trv::ExpandMono8To24Plain(src, want, pixels);
                uint8_t* got = actual.Dst(dof);
                expand(src, got, pixels);
                const bool same = std::memcmp(got, want, 3 * pixels) == 0;
                const bool guards = actual.GuardsIntact(dof, 3 * pixels);
                if (!same || !guards) {
                    ADD_FAILURE() << "pixels " << pixels << " src offset " << so << " dst offset "
                                  << dof << (same ? "" : ": wrong bytes")
                                  << (guards ? "" : ": write outside dst");
                    if (++failures == 10) {
                        return;
                    }
                }
            }
        }
    }
}

class ExpandPath : public testing::TestWithParam<ConvertPath> {};

TEST_P(ExpandPath, MatchesPlainLoopForEveryLengthAndAlignment) {
    if (!trv::ConvertPathSupported(GetParam())) {
        GTEST_SKIP() << trv::ConvertPathName(GetParam()) << " is not supported on this CPU";
    }
    const ConvertPath path = GetParam();
    CheckAgainstPlain([path](const uint8_t* src, uint8_t* dst, size_t pixels) {
        trv::ExpandMono8To24With(path, src, dst, pixels);
    });
}

INSTANTIATE_TEST_SUITE_P(FrameConvert, ExpandPath,
                         testing::Values(ConvertPath::Ssse3, ConvertPath::Avx2,
                                         ConvertPath::Ssse3Stream, ConvertPath::Avx2Stream),
                         [](const testing::TestParamInfo<ConvertPath>& info) {
                             std::string name = trv::ConvertPathName(info.param);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(FrameConvert, DispatchedExpansionMatchesPlainLoop) {
    CheckAgainstPlain(trv::ExpandMono8To24);
}

TEST(FrameConvert, PlainLoopWritesEachPixelThreeTimes) {
    const uint8_t src[] = {0, 1, 0x7F, 0x80, 0xFE, 0xFF};
    uint8_t dst[3 * sizeof src + 1];
    std::memset(dst, kGuardByte, sizeof dst);
    trv::ExpandMono8To24Plain(src, dst, sizeof src);
    for (size_t i = 0; i < sizeof src; ++i) {
        EXPECT_EQ(dst[3 * i], src[i]);
        EXPECT_EQ(dst[3 * i + 1], src[i]);
        EXPECT_EQ(dst[3 * i + 2], src[i]);
    }
    EXPECT_EQ(dst[sizeof dst - 1], kGuardByte);
}

TEST(FrameConvert, ChoosesTheWidestPathAndStreamsOnlyLargeFrames) {
    const bool avx2 = trv::ConvertPathSupported(ConvertPath::Avx2);
    const bool ssse3 = trv::ConvertPathSupported(ConvertPath::Ssse3);
    const ConvertPath cached = avx2    ? ConvertPath::Avx2
                               : ssse3 ? ConvertPath::Ssse3
                                       : ConvertPath::Plain;
    const ConvertPath streaming = avx2    ? ConvertPath::Avx2Stream
                                  : ssse3 ? ConvertPath::Ssse3Stream
                                          : ConvertPath::Plain;
    const size_t threshold = trv::StreamingThresholdBytes();
    ASSERT_GT(threshold, 3u);
    const size_t first = (threshold + 2) / 3; // the first frame whose output reaches it
    EXPECT_EQ(trv::ChosenConvertPath(0), cached);
    EXPECT_EQ(trv::ChosenConvertPath(first - 1), cached);
    EXPECT_EQ(trv::ChosenConvertPath(first), streaming);
    EXPECT_EQ(trv::ChosenConvertPath(size_t{4096} * 3000 * 16), streaming);
    EXPECT_TRUE(trv::ConvertPathSupported(ConvertPath::Plain));
    EXPECT_EQ(trv::ConvertPathSupported(ConvertPath::Avx2Stream), avx2);
    EXPECT_EQ(trv::ConvertPathSupported(ConvertPath::Ssse3Stream), ssse3);
}

// A whole frame: the vector loops run for thousands of blocks, rows meet without gaps.
TEST(FrameConvert, WholeFrameMatchesPlainLoop) {
    constexpr size_t kPixels = 2048 * 1536 + 7;
    std::vector<uint8_t> src(kPixels + 1);
    std::mt19937 rng(7);
    for (uint8_t& b : src) {
        b = static_cast<uint8_t>(rng());
    }
    std::vector<uint8_t> want(3 * kPixels);
    trv::ExpandMono8To24Plain(src.data() + 1, want.data(), kPixels);
    for (ConvertPath path : {ConvertPath::Ssse3, ConvertPath::Avx2, ConvertPath::Ssse3Stream,
                             ConvertPath::Avx2Stream}) {
        if (!trv::ConvertPathSupported(path)) {
            continue;
        }
        std::vector<uint8_t> got(3 * kPixels + 1, kGuardByte);
        trv::ExpandMono8To24With(path, src.data() + 1, got.data() + 1, kPixels);
        EXPECT_EQ(got[0], kGuardByte) << trv::ConvertPathName(path);
        EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin() + 1))
            << trv::ConvertPathName(path);
    }
}

// Past the threshold the dispatched expansion streams; its result is still the plain loop's.
TEST(FrameConvert, DispatchedExpansionOfALargeFrameMatchesPlainLoop) {
    const size_t pixels = (trv::StreamingThresholdBytes() + 2) / 3 + 5;
    std::vector<uint8_t> src(pixels);
    std::mt19937 rng(11);
    for (uint8_t& b : src) {
        b = static_cast<uint8_t>(rng());
    }
    std::vector<uint8_t> want(3 * pixels);
    trv::ExpandMono8To24Plain(src.data(), want.data(), pixels);
    std::vector<uint8_t> got(3 * pixels + 2, kGuardByte);
    trv::ExpandMono8To24(src.data(), got.data() + 1, pixels);
    EXPECT_EQ(got.front(), kGuardByte);
    EXPECT_EQ(got.back(), kGuardByte);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin() + 1));
}

TEST(FrameConvert, Copy24CopiesExactlyTheBytesGiven) {
    Buffers buffers;
    for (size_t bytes : {0, 1, 3, 31, 32, 33, 299, 300}) {
        for (size_t offset : {0, 1, 15, 31}) {
            uint8_t* dst = buffers.Dst(offset);
            const uint8_t* src = buffers.Src(31 - offset);
            trv::Copy24(src, dst, bytes);
            EXPECT_EQ(std::memcmp(dst, src, bytes), 0) << bytes << " at " << offset;
            EXPECT_TRUE(buffers.GuardsIntact(offset, bytes)) << bytes << " at " << offset;
        }
    }
}

} // namespace
