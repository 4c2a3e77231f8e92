// Vectorised expansion of 8-bit pixels to three equal bytes. The functions carry their
// instruction set as a target attribute, so the rest of the build stays baseline x86-64;
// they run only after the CPU check of frame_convert.cpp.
#include "frame_convert.h"

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)

#include <immintrin.h>

#if defined(__GNUC__) || defined(__clang__)
#define TRV_TARGET(isa) __attribute__((target(isa)))
#else
// MSVC accepts every intrinsic in any function.
#define TRV_TARGET(isa)
#endif

namespace trv {

namespace {

inline void ExpandScalar(const uint8_t* src, uint8_t* dst, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
        const uint8_t v = src[i];
        dst[3 * i] = v;
        dst[3 * i + 1] = v;
        dst[3 * i + 2] = v;
    }
}

// Pixels to convert one by one until dst + 3 * i lies on an `align`-byte boundary. 3 is
// prime to every power of two, so one such i < align exists.
size_t HeadPixels(const uint8_t* dst, size_t align, size_t pixels) {
    size_t i = 0;
    while (i < pixels && (reinterpret_cast<uintptr_t>(dst + 3 * i) & (align - 1)) != 0) {
        ++i;
    }
    return i;
}

// Streaming stores bypass the caches: no line is read for ownership before it is written,
// which pays when the frame would not stay in the cache anyway, and costs when it would.
template <bool kStream> TRV_TARGET("ssse3") inline void Store128(__m128i* p, __m128i v) {
    if constexpr (kStream) {
        _mm_stream_si128(p, v);
    } else {
        _mm_store_si128(p, v);
    }
}

template <bool kStream> TRV_TARGET("avx2") inline void Store256(__m256i* p, __m256i v) {
    if constexpr (kStream) {
        _mm256_stream_si256(p, v);
    } else {
        _mm256_store_si256(p, v);
    }
}

// 16 pixels in, 48 bytes out: output byte k of a 16-byte block takes input byte k / 3.
template <bool kStream>
TRV_TARGET("ssse3")
void ExpandSsse3(const uint8_t* src, uint8_t* dst, size_t pixels) {
    const __m128i m0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i m1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i m2 =
        _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    size_t i = HeadPixels(dst, 16, pixels);
    ExpandScalar(src, dst, 0, i);
    for (; pixels - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i* out = reinterpret_cast<__m128i*>(dst + 3 * i);
        Store128<kStream>(out, _mm_shuffle_epi8(v, m0));
        Store128<kStream>(out + 1, _mm_shuffle_epi8(v, m1));
        Store128<kStream>(out + 2, _mm_shuffle_epi8(v, m2));
    }
    if constexpr (kStream) {
        // Streamed bytes become visible to other threads (the host's) in order.
        _mm_sfence();
    }
    ExpandScalar(src, dst, i, pixels);
}

// 32 pixels in, 96 bytes out. The byte shuffle works within each 128-bit lane, so every
// output vector gets, in each lane, the 16 input bytes holding its 5 or 6 source pixels:
// input 0..15 twice, then 0..15 and 16..31 (the load itself), then 16..31 twice. The
// doubled halves come from broadcasting loads, which leave the shuffle port to the shuffles
// (a lane-crossing permute there costs about 6 % at 2048 x 1536).
template <bool kStream>
TRV_TARGET("avx2")
void ExpandAvx2(const uint8_t* src, uint8_t* dst, size_t pixels) {
    const __m256i m0 = _mm256_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, //
                                        5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m256i m1 =
        _mm256_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15, //
                         0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m256i m2 =
        _mm256_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10, //
                         10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    // Aligned stores: measured faster than unaligned ones, and required for streaming.
    size_t i = HeadPixels(dst, 32, pixels);
    ExpandScalar(src, dst, 0, i);
    for (; pixels - i >= 32; i += 32) {
        const __m256i both = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i low =
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
        const __m256i high = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16)));
        __m256i* out = reinterpret_cast<__m256i*>(dst + 3 * i);
        Store256<kStream>(out, _mm256_shuffle_epi8(low, m0));
        Store256<kStream>(out + 1, _mm256_shuffle_epi8(both, m1));
        Store256<kStream>(out + 2, _mm256_shuffle_epi8(high, m2));
    }
    if constexpr (kStream) {
        _mm_sfence();
    }
    ExpandScalar(src, dst, i, pixels);
}

} // namespace

void ExpandMono8To24Ssse3(const uint8_t* src, uint8_t* dst, size_t pixels) {
    ExpandSsse3<false>(src, dst, pixels);
}
void ExpandMono8To24Ssse3Stream(const uint8_t* src, uint8_t* dst, size_t pixels) {
    ExpandSsse3<true>(src, dst, pixels);
}
void ExpandMono8To24Avx2(const uint8_t* src, uint8_t* dst, size_t pixels) {
    ExpandAvx2<false>(src, dst, pixels);
}
void ExpandMono8To24Avx2Stream(const uint8_t* src, uint8_t* dst, size_t pixels) {
    ExpandAvx2<true>(src, dst, pixels);
}

} // namespace trv

#endif
