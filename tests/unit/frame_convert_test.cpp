#include "acquisition/frame_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using trv::ConvertPath;

// Every path, every length to 300 pixels at every alignment of src and dst to 31: each pixel
// three times, nothing written outside dst, nothing read past src (exact-size source, ASan).
TEST(FrameConvert, EveryPathEveryLengthAndAlignment) {
    const ConvertPath paths[] = {ConvertPath::Plain, ConvertPath::Ssse3, ConvertPath::Avx2,
                                 ConvertPath::Ssse3Stream, ConvertPath::Avx2Stream};
    std::vector<uint8_t> dst(64 + 31 + 3 * 300 + 64);
    for (int p = -1; p < 5; ++p) { // -1: the dispatched expansion
        if (p >= 0 && !trv::ConvertPathSupported(paths[p])) {
            continue;
        }
        for (size_t pixels = 0; pixels <= 300; ++pixels) {
            for (size_t so = 0; so < 32; so += (pixels < 40 ? 1 : 7)) {
                std::vector<uint8_t> src(so + pixels);
                for (size_t i = 0; i < src.size(); ++i) {
                    src[i] = static_cast<uint8_t>(i * 37 + pixels);
                }
                std::vector<uint8_t> want(3 * pixels);
                for (size_t i = 0; i < want.size(); ++i) {
                    want[i] = src[so + i / 3];
                }
                for (size_t dof = 0; dof < 32; ++dof) {
                    std::memset(dst.data(), 0xA5, dst.size());
                    uint8_t* out = dst.data() + 64 + dof;
                    if (p < 0) {
                        trv::ExpandMono8To24(src.data() + so, out, pixels);
                    } else {
                        trv::ExpandMono8To24With(paths[p], src.data() + so, out, pixels);
                    }
                    const bool guards =
                        std::all_of(out - 32, out, [](uint8_t b) { return b == 0xA5; }) &&
                        std::all_of(out + want.size(), out + want.size() + 32,
                                    [](uint8_t b) { return b == 0xA5; });
                    ASSERT_TRUE(guards && std::equal(want.begin(), want.end(), out))
                        << "path " << p << " pixels " << pixels << " offsets " << so << "," << dof;
                }
            }
        }
    }
}

} // namespace
