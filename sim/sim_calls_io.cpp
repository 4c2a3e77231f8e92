// Input/output: strobe and the two outputs; the camera's user memory; parameter files.
#include "sim_call.h"

#include <cstdio>
#include <cstring>
#include <cwctype>

using sim::Format;

namespace {

std::string HexOf(const void* data, uint32_t size) {
    std::string out;
    for (uint32_t i = 0; data != nullptr && i < size && i < 64; ++i) {
        out += Format("%02x", static_cast<const unsigned char*>(data)[i]);
    }
    return out;
}

UeyeStatus Io(sim::Camera& c, uint32_t command, void* param, uint32_t size, std::string& outs) {
    if (param == nullptr) {
        return sim::kInvalidParameter;
    }
    switch (command) {
    case ueye::kIoStrobe: {
        uint32_t value = 0;
        if (size != 4) {
            return sim::kInvalidParameter;
        }
        std::memcpy(&value, param, 4);
        if (value != 0 && value != 2) {
            return sim::kInvalidParameter;
        }
        c.strobe = value;
        return 0;
    }
    case ueye::kIoOutputMin:
    case ueye::kIoOutputMax: {
        if (size != 16) {
            return sim::kInvalidParameter;
        }
        const double v[2] = {command == ueye::kIoOutputMin ? c.ioLower : c.ioUpper, 0.0};
        std::memcpy(param, v, 16);
        outs = Format("limit=%.12g", v[0]);
        return 0;
    }
    case ueye::kIoOutputLevel: {
        double v[2];
        if (size != 16) {
            return sim::kInvalidParameter;
        }
        std::memcpy(v, param, 16);
        if (!(v[0] >= c.ioLower && v[0] <= c.ioUpper)) {
            return sim::kInvalidParameter; // a base value outside the camera's limits
        }
        c.output.base = v[0];
        c.output.level = v[1];
        return 0;
    }
    case ueye::kIoOutputApply: {
        uint32_t value = 0;
        if (size != 4) {
            return sim::kInvalidParameter;
        }
        std::memcpy(&value, param, 4);
        if (value != 2) {
            return sim::kInvalidParameter;
        }
        ++c.output.applies;
        return 0;
    }
    case ueye::kIoOutputConfig: {
        uint32_t words[16];
        if (size != 64) {
            return sim::kInvalidParameter;
        }
        std::memcpy(words, param, 64);
        if (words[0] != 1 || words[1] != 0 || words[2] != 2 || words[3] > 1) {
            return sim::kInvalidParameter;
        }
        c.output.selected = words[3];
        return 0;
    }
    default:
        return sim::kInvalidParameter;
    }
}

// The reported size of the user memory: the real one unless configured otherwise.
uint32_t ReportedSize(const sim::Camera& c) {
    return c.userMemorySize >= 0 ? static_cast<uint32_t>(c.userMemorySize)
                                 : static_cast<uint32_t>(c.userMemory.size());
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (const wchar_t* p = text; p != nullptr && *p != 0 && out.size() < 600; ++p) {
        out += *p < 128 ? static_cast<char>(*p) : '?';
    }
    return out;
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    const size_t b = s.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// The simulator's own parameter file: a first section "[sim-camera-parameters]", then lines
// "key=value" of the keys aoi, aoi_full, binning, subsampling, exposure and fps; ';' starts a
// comment. Anything else refuses the whole file, and so does an area of interest the camera
// would not accept. Nothing changes unless the whole file is taken.
UeyeStatus LoadParameters(sim::Camera& c, const wchar_t* path) {
    if (path == nullptr) {
        return sim::kInvalidParameter;
    }
    FILE* f = _wfopen(path, L"rb");
    if (f == nullptr) {
        return sim::kFileRefused;
    }
    std::string text;
    char chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && text.size() < (1u << 20)) {
        text.append(chunk, n);
    }
    std::fclose(f);
    sim::Camera next = c;
    bool header = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t comment = line.find(';');
        line = Trim(comment == std::string::npos ? line : line.substr(0, comment));
        if (line.empty()) {
            continue;
        }
        if (!header) {
            if (line != "[sim-camera-parameters]") {
                return sim::kFileRefused;
            }
            header = true;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos ||
            !sim::ApplyKey(next, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), true)) {
            return sim::kFileRefused;
        }
    }
    if (!header || !sim::AcceptsAoi(next, next.p.aoi) || !(next.p.fps > 0.0)) {
        return sim::kFileRefused;
    }
    next.p.exposure = sim::BoundExposure(next, next.p.exposure);
    c.p = next.p;
    return 0;
}

} // namespace

UEYE_API UeyeStatus is_IO(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    return sim::OnCamera(
        "is_IO", nCommand, hCam,
        Format("cmd=%u size=%u bytes=%s", nCommand, nSize, HexOf(pParam, nSize).c_str()),
        sim::OutsOf(nCommand, pParam, pParam != nullptr ? nSize : 0),
        [=](sim::Camera& c, std::string& outs) { return Io(c, nCommand, pParam, nSize, outs); });
}

UEYE_API UeyeStatus is_ParameterFile(UeyeHandle hCam, uint32_t nCommand, void* pParam,
                                     uint32_t nSize) {
    const auto* path = static_cast<const wchar_t*>(pParam);
    return sim::OnCamera("is_ParameterFile", nCommand, hCam,
                         Format("cmd=%u size=%u path=%s", nCommand, nSize, Narrow(path).c_str()),
                         sim::Outs{}, [=](sim::Camera& c, std::string&) {
                             if (nCommand != ueye::kParameterLoad || nSize != 0) {
                                 return sim::kInvalidParameter;
                             }
                             if (c.live) {
                                 return sim::kNoSuccess; // not while capturing
                             }
                             return LoadParameters(c, path);
                         });
}

UEYE_API UeyeStatus is_CameraMemory(UeyeHandle hCam, uint32_t nCommand, void* pParam,
                                    uint32_t nSize) {
    std::string args = Format("cmd=%u size=%u", nCommand, nSize);
    UeyeMemoryRead request = {};
    const bool read = nCommand == ueye::kMemoryRead && pParam != nullptr && nSize == 24;
    if (read) {
        std::memcpy(&request, pParam, sizeof request);
        uint64_t zero = 0;
        std::memcpy(&zero, request.zero, 8);
        args += Format(" offset=%u count=%u zero=%llu", request.nOffset, request.nCount,
                       static_cast<unsigned long long>(zero));
    }
    // A read's out-values are the bytes it writes into the buffer the request names.
    const sim::Outs o =
        read ? sim::OutsOf(nCommand,
                           reinterpret_cast<void*>(static_cast<uintptr_t>(request.nBufferAddress)),
                           request.nCount)
             : sim::OutsOf(nCommand, pParam, pParam != nullptr ? nSize : 0);
    return sim::OnCamera(
        "is_CameraMemory", nCommand, hCam, args, o, [=](sim::Camera& c, std::string& outs) {
            if (nCommand == ueye::kMemorySize) {
                if (pParam == nullptr || nSize != 4) {
                    return sim::kInvalidParameter;
                }
                const uint32_t size = ReportedSize(c);
                std::memcpy(pParam, &size, 4);
                outs = Format("size=%u", size);
                return 0;
            }
            if (!read || request.nBufferAddress == 0) {
                return sim::kInvalidParameter;
            }
            const uint64_t end = uint64_t{request.nOffset} + request.nCount;
            if (end > c.userMemory.size()) {
                return sim::kInvalidParameter; // past the memory the camera has
            }
            if (request.nCount > 0) {
                std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(request.nBufferAddress)),
                            c.userMemory.data() + request.nOffset, request.nCount);
            }
            outs = "bytes=";
            for (uint32_t i = 0; i < request.nCount; ++i) {
                outs += Format("%02x", c.userMemory[request.nOffset + i]);
            }
            return 0;
        });
}
