// Image format: display and colour mode, image memory, area of interest, binning and
// subsampling.
#include "sim_call.h"

#include <cstring>

using sim::Format;

namespace {

// Blocks larger than this are refused as a real driver would refuse them.
constexpr int64_t kMostBlockBytes = int64_t{512} << 20;

UeyeStatus FactorBits(const char* call, UeyeHandle hCam, int32_t nMode,
                      uint32_t sim::Camera::Parameters::*bits) {
    return sim::OnCamera(call, nMode, hCam, Format("mode=0x%x", static_cast<uint32_t>(nMode)),
                         sim::Outs{}, [=](sim::Camera& c, std::string&) {
                             if (nMode == ueye::kQuery) {
                                 return static_cast<UeyeStatus>(c.p.*bits);
                             }
                             if (c.live) {
                                 return sim::kNoSuccess; // not while capturing
                             }
                             c.p.*bits = static_cast<uint32_t>(nMode);
                             return 0;
                         });
}

} // namespace

UEYE_API UeyeStatus is_DisplayMode(UeyeHandle hCam, int32_t nMode) {
    return sim::OnCamera("is_DisplayMode", nMode, hCam, Format("mode=%d", nMode), sim::Outs{},
                         [=](sim::Camera& c, std::string&) {
                             c.displayMode = nMode;
                             return 0;
                         });
}

UEYE_API UeyeStatus is_ColorMode(UeyeHandle hCam, int32_t nMode) {
    return sim::OnCamera("is_ColorMode", nMode, hCam, Format("mode=%d", nMode), sim::Outs{},
                         [=](sim::Camera& c, std::string&) {
                             if (nMode == ueye::kQuery) {
                                 return c.colorMode;
                             }
                             if (nMode != ueye::kColorRgb24 && nMode != ueye::kColorMono8) {
                                 return sim::kInvalidParameter;
                             }
                             c.colorMode = nMode;
                             return 0;
                         });
}

UEYE_API UeyeStatus is_ImageMemAlloc(UeyeHandle hCam, int32_t nWidth, int32_t nHeight,
                                     int32_t nBits, char** ppcMem, int32_t* pnMemId) {
    sim::Outs o = sim::OutsOf(-1, pnMemId, 4);
    o.at[1] = ppcMem; // where a replay hands out the memory it allocates
    return sim::OnCamera("is_ImageMemAlloc", -1, hCam,
                         Format("w=%d h=%d bits=%d", nWidth, nHeight, nBits), o,
                         [=](sim::Camera& c, std::string& outs) {
                             if (nWidth <= 0 || nHeight <= 0 || (nBits != 8 && nBits != 24)) {
                                 return sim::kInvalidParameter;
                             }
                             // Checked before multiplying: 2^31 x 2^31 x 3 overflows.
                             const int64_t pixels = int64_t{nWidth} * nHeight;
                             if (pixels > kMostBlockBytes / 3) {
                                 return sim::kNoMemory;
                             }
                             const int64_t bytes = pixels * (nBits / 8);
                             sim::State& s = sim::Get();
                             // Zeros, as fresh pages: a frame event handled before the first
                             // frame was written into it shows frame number 0, not what a freed
                             // block held before.
                             char* block = new char[static_cast<size_t>(bytes)]();
                             const int32_t id = s.nextMemoryId++;
                             s.memory[block] = {nWidth, nHeight, nBits, c.handle, id};
                             ++s.stats.allocations;
                             *ppcMem = block;
                             *pnMemId = id;
                             outs = Format("id=%d", id);
                             return 0;
                         });
}

UEYE_API UeyeStatus is_ImageMemActivate(UeyeHandle hCam, char* pcMem, int32_t nMemId) {
    return sim::OnCamera("is_ImageMemActivate", -1, hCam, Format("id=%d", nMemId), sim::Outs{},
                         [=](sim::Camera& c, std::string&) {
                             auto& memory = sim::Get().memory;
                             auto it = memory.find(pcMem);
                             if (it == memory.end() || it->second.owner != c.handle ||
                                 it->second.id != nMemId) {
                                 return sim::kInvalidParameter;
                             }
                             c.activeMemory = pcMem;
                             return 0;
                         });
}

UEYE_API UeyeStatus is_ImageMemFree(UeyeHandle hCam, char* pcMem, int32_t nMemId) {
    return sim::OnCamera("is_ImageMemFree", -1, hCam, Format("id=%d", nMemId), sim::Outs{},
                         [=](sim::Camera& c, std::string&) {
                             sim::State& s = sim::Get();
                             auto it = s.memory.find(pcMem);
                             if (it == s.memory.end() || it->second.owner != c.handle ||
                                 it->second.id != nMemId) {
                                 ++s.stats.badFrees; // unknown, not this camera's, or freed
                                 return sim::kInvalidParameter;
                             }
                             s.memory.erase(it);
                             ++s.stats.frees;
                             if (c.activeMemory == pcMem) {
                                 c.activeMemory = nullptr;
                             }
                             sim::DeleteBlock(s, pcMem);
                             return 0;
                         });
}

UEYE_API UeyeStatus is_AOI(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    const bool sets = nCommand == ueye::kAoiSetRect || nCommand == ueye::kAoiSetSize;
    std::string args = Format("cmd=%u size=%u", nCommand, nSize);
    if (sets && pParam != nullptr && (nSize == 16 || nSize == 8)) {
        args += " in=" + sim::Ints(static_cast<const int32_t*>(pParam), nSize / 4);
    }
    const sim::Outs o = sim::OutsOf(nCommand, pParam, pParam != nullptr ? nSize : 0);
    return sim::OnCamera("is_AOI", nCommand, hCam, args, o, [=](sim::Camera& c, std::string& outs) {
        // Answers `n` values under their names, "a=1 b=2".
        auto answer = [&](const int32_t* v, const char* const* names, uint32_t n) {
            if (pParam == nullptr || nSize != 4 * n) {
                return sim::kInvalidParameter;
            }
            std::memcpy(pParam, v, 4 * n);
            for (uint32_t i = 0; i < n; ++i) {
                outs += Format(i == 0 ? "%s=%d" : " %s=%d", names[i], v[i]);
            }
            return 0;
        };
        static const char* const kRect[] = {"x", "y", "w", "h"};
        static const char* const kSize[] = {"w", "h"};
        static const char* const kFull[] = {"full"};
        auto size = [&](const sim::Pair& p) {
            const int32_t v[2] = {p.a, p.b};
            return answer(v, kSize, 2);
        };
        auto position = [&](const sim::Pair& p) {
            const int32_t v[2] = {p.a, p.b};
            return answer(v, kRect, 2);
        };
        const sim::Rect& r = c.p.aoi;
        switch (nCommand) {
        case ueye::kAoiSetRect:
        case ueye::kAoiSetSize: {
            if (pParam == nullptr || nSize != (nCommand == ueye::kAoiSetRect ? 16u : 8u)) {
                return sim::kInvalidParameter;
            }
            int32_t v[4] = {};
            std::memcpy(v, pParam, nSize);
            sim::Rect next = r;
            if (nCommand == ueye::kAoiSetRect) {
                next = {v[0], v[1], v[2], v[3]};
            } else {
                // The image size is in delivered pixels: binning and subsampling scale it up.
                const sim::Pair bin = sim::Factors(c.p.binning);
                const sim::Pair sub = sim::Factors(c.p.subsampling);
                next.w = static_cast<int32_t>(int64_t{v[0]} * bin.a * sub.a);
                next.h = static_cast<int32_t>(int64_t{v[1]} * bin.b * sub.b);
            }
            if (!sim::AcceptsAoi(c, next)) {
                return sim::kInvalidParameter;
            }
            c.p.aoi = next;
            return 0;
        }
        case ueye::kAoiGetRect: {
            const int32_t v[4] = {r.x, r.y, r.w, r.h};
            return answer(v, kRect, 4);
        }
        case ueye::kAoiGetSize:
            return size({r.w, r.h});
        case ueye::kAoiGetPosMin:
            return position(c.posMin);
        case ueye::kAoiGetSizeMin:
            return size(c.sizeMin);
        case ueye::kAoiGetSizeMax:
            return size(c.sizeMax);
        case ueye::kAoiGetPosStep:
            return position(c.posStep);
        case ueye::kAoiGetSizeStep:
            return size(c.sizeStep);
        case ueye::kAoiFullWidth:
            return answer(&c.p.full.a, kFull, 1);
        case ueye::kAoiFullHeight:
            return answer(&c.p.full.b, kFull, 1);
        default:
            return sim::kInvalidParameter;
        }
    });
}

UEYE_API UeyeStatus is_Binning(UeyeHandle hCam, int32_t nMode) {
    return FactorBits("is_Binning", hCam, nMode, &sim::Camera::Parameters::binning);
}

UEYE_API UeyeStatus is_Subsampling(UeyeHandle hCam, int32_t nMode) {
    return FactorBits("is_Subsampling", hCam, nMode, &sim::Camera::Parameters::subsampling);
}
