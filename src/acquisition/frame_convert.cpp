#include "frame_convert.h"

#include <cstring>

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
#define TRV_CONVERT_X86 1
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#else
#define TRV_CONVERT_X86 0
#endif

namespace trv {

#if TRV_CONVERT_X86
// In frame_convert_x86.cpp; each may run only where its instruction set is supported.
void ExpandMono8To24Ssse3(const uint8_t* src, uint8_t* dst, size_t pixels);
void ExpandMono8To24Ssse3Stream(const uint8_t* src, uint8_t* dst, size_t pixels);
void ExpandMono8To24Avx2(const uint8_t* src, uint8_t* dst, size_t pixels);
void ExpandMono8To24Avx2Stream(const uint8_t* src, uint8_t* dst, size_t pixels);
#endif

namespace {

using ExpandFn = void (*)(const uint8_t*, uint8_t*, size_t);

// Used when the CPU does not report its last-level cache.
constexpr size_t kDefaultThresholdBytes = size_t{4} << 20;

#if TRV_CONVERT_X86
struct CpuidRegs {
    unsigned a, b, c, d;
};

CpuidRegs Cpuid(unsigned leaf, unsigned subleaf) {
    CpuidRegs r{0, 0, 0, 0};
#if defined(_MSC_VER) && !defined(__clang__)
    int v[4];
    __cpuidex(v, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {static_cast<unsigned>(v[0]), static_cast<unsigned>(v[1]), static_cast<unsigned>(v[2]),
         static_cast<unsigned>(v[3])};
#else
    // Leaves above the maximum are answered with zeros.
    // GCC answers unsigned, clang int: compare as unsigned.
    if (static_cast<unsigned>(__get_cpuid_max(leaf & 0x80000000u, nullptr)) >= leaf) {
        __cpuid_count(leaf, subleaf, r.a, r.b, r.c, r.d);
    }
#endif
    return r;
}

#if defined(__GNUC__) || defined(__clang__)
// The builtins check the OS's saving of the vector registers (XGETBV) along with the CPU.
bool CpuHasSsse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}
bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#else
bool CpuHasSsse3() {
    return (Cpuid(1, 0).c & (1u << 9)) != 0;
}
bool CpuHasAvx2() {
    if (Cpuid(0, 0).a < 7) {
        return false;
    }
    const unsigned c = Cpuid(1, 0).c;
    const bool osSavesYmm = (c & (1u << 27)) != 0 && (_xgetbv(0) & 0x6) == 0x6;
    return osSavesYmm && (c & (1u << 28)) != 0 && (Cpuid(7, 0).b & (1u << 5)) != 0;
}
#endif

// Size of the highest cache level in bytes, 0 when unknown: deterministic cache parameters
// (leaf 4, Intel), else the extended L3 descriptor (leaf 0x80000006, AMD).
size_t LastLevelCacheBytes() {
    size_t best = 0;
    unsigned bestLevel = 0;
    if (Cpuid(0, 0).a >= 4) {
        for (unsigned sub = 0; sub < 16; ++sub) {
            const CpuidRegs r = Cpuid(4, sub);
            if ((r.a & 0x1F) == 0) {
                break;
            }
            const unsigned level = (r.a >> 5) & 0x7;
            const size_t bytes = size_t{((r.b >> 22) & 0x3FF) + 1} * (((r.b >> 12) & 0x3FF) + 1) *
                                 ((r.b & 0xFFF) + 1) * (size_t{r.c} + 1);
            if (level >= bestLevel) {
                bestLevel = level;
                best = bytes;
            }
        }
    }
    if (best == 0) {
        best = size_t{(Cpuid(0x80000006, 0).d >> 18) & 0x3FFF} * 512 * 1024;
    }
    return best;
}
#endif

ExpandFn FunctionOf(ConvertPath path) {
    switch (path) {
#if TRV_CONVERT_X86
    case ConvertPath::Ssse3:
        return ExpandMono8To24Ssse3;
    case ConvertPath::Ssse3Stream:
        return ExpandMono8To24Ssse3Stream;
    case ConvertPath::Avx2:
        return ExpandMono8To24Avx2;
    case ConvertPath::Avx2Stream:
        return ExpandMono8To24Avx2Stream;
#endif
    default:
        return ExpandMono8To24Plain;
    }
}

// The widest path this CPU supports, cached or streaming.
ConvertPath Widest(bool streaming) {
    if (ConvertPathSupported(ConvertPath::Avx2)) {
        return streaming ? ConvertPath::Avx2Stream : ConvertPath::Avx2;
    }
    if (ConvertPathSupported(ConvertPath::Ssse3)) {
        return streaming ? ConvertPath::Ssse3Stream : ConvertPath::Ssse3;
    }
    return ConvertPath::Plain;
}

// What the CPU offers, found on the first call, not by a static constructor, so that a call
// made while other statics are still being constructed is safe too.
struct Choice {
    ConvertPath cached;
    ConvertPath streaming;
    size_t thresholdBytes;
};

const Choice& GetChoice() {
    static const Choice choice = [] {
        size_t threshold = kDefaultThresholdBytes;
#if TRV_CONVERT_X86
        if (const size_t llc = LastLevelCacheBytes(); llc != 0) {
            threshold = llc / 2;
        }
#endif
        return Choice{Widest(false), Widest(true), threshold};
    }();
    return choice;
}

} // namespace

void ExpandMono8To24Plain(const uint8_t* src, uint8_t* dst, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t v = src[i];
        dst[3 * i] = v;
        dst[3 * i + 1] = v;
        dst[3 * i + 2] = v;
    }
}

bool ConvertPathSupported(ConvertPath path) {
#if TRV_CONVERT_X86
    if (path == ConvertPath::Ssse3 || path == ConvertPath::Ssse3Stream) {
        return CpuHasSsse3();
    }
    if (path == ConvertPath::Avx2 || path == ConvertPath::Avx2Stream) {
        return CpuHasAvx2();
    }
#endif
    return path == ConvertPath::Plain;
}

size_t StreamingThresholdBytes() {
    return GetChoice().thresholdBytes;
}

// Streaming once the frame's 3 * pixels output bytes reach the threshold.
ConvertPath ChosenConvertPath(size_t pixels) {
    const Choice& choice = GetChoice();
    return pixels >= (StreamingThresholdBytes() + 2) / 3 ? choice.streaming : choice.cached;
}

void ExpandMono8To24With(ConvertPath path, const uint8_t* src, uint8_t* dst, size_t pixels) {
    const ExpandFn fn =
        ConvertPathSupported(path) ? FunctionOf(path) : FunctionOf(ConvertPath::Plain);
    fn(src, dst, pixels);
}

void ExpandMono8To24(const uint8_t* src, uint8_t* dst, size_t pixels) {
    FunctionOf(ChosenConvertPath(pixels))(src, dst, pixels);
}

// Nothing to rearrange: the C runtime's memcpy is tuned per CPU, and a copy of our own would
// only compete with it. The benchmarks put the two side by side.
void Copy24(const uint8_t* src, uint8_t* dst, size_t bytes) {
    std::memcpy(dst, src, bytes);
}

} // namespace trv
