// The out-value writers: one a call, each taking the "key=value ..." text that the journal
// prints as the call's out-values and writing it where the call writes them back.
#include "sim_state.h"
#include "ueye/ueye_api.h"

#include <cstring>
#include <sstream>

namespace sim {

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

enum class Kind { Int32, Byte, Double };

// An out-value: its key, and where it lies: `slot` of Outs::at, `offset` bytes into it.
struct Field {
    const char* key;
    Kind kind;
    int slot;
    uint32_t offset;
};

bool Dry(const Outs& o) {
    return o.at[0] == nullptr && o.at[1] == nullptr && o.at[2] == nullptr;
}

// Room for `bytes` at `offset` of slot `slot`: slot 0 holds outs.size bytes, the others one value.
bool Room(const Outs& o, int slot, uint64_t offset, uint64_t bytes) {
    return Dry(o) || (o.at[slot] != nullptr && (slot != 0 || offset + bytes <= o.size));
}

void Put(const Outs& o, int slot, uint64_t offset, const void* bytes, size_t n, bool write) {
    if (write) {
        std::memcpy(static_cast<char*>(o.at[slot]) + offset, bytes, n);
    }
}

// A 32-bit value as int32 or uint32 text.
bool Word(const std::string& text, uint32_t& out) {
    int64_t v = 0;
    if (!ParseInt(text, v) || v < INT32_MIN || v > static_cast<int64_t>(UINT32_MAX)) {
        return false;
    }
    out = static_cast<uint32_t>(v);
    return true;
}

// Checks (write false) or writes every pair into the field of its key.
bool SetFields(const Outs& o, const Pairs& pairs, std::initializer_list<Field> fields, bool write) {
    for (const auto& [key, value] : pairs) {
        const Field* f = nullptr;
        for (const Field& candidate : fields) {
            f = key == candidate.key ? &candidate : f;
        }
        if (f == nullptr) {
            return false;
        }
        uint8_t bytes[8];
        size_t n = 4;
        if (f->kind == Kind::Double) {
            double d = 0.0;
            if (!ParseDouble(value, d)) {
                return false;
            }
            std::memcpy(bytes, &d, n = 8);
        } else {
            uint32_t w = 0;
            if (!Word(value, w) || (f->kind == Kind::Byte && w > 255)) {
                return false;
            }
            n = f->kind == Kind::Byte ? 1 : 4;
            std::memcpy(bytes, &w, n); // little-endian: the low byte first
        }
        if (!Room(o, f->slot, f->offset, n)) {
            return false;
        }
        Put(o, f->slot, f->offset, bytes, n, write);
    }
    return true;
}

// The number after `prefix` in `key`, within [0, most].
bool Indexed(const std::string& key, const char* prefix, int64_t most, int64_t& index) {
    const size_t n = std::strlen(prefix);
    return key.compare(0, n, prefix) == 0 && key.size() > n &&
           key.find_first_not_of("0123456789", n) == std::string::npos &&
           ParseInt(key.substr(n), index) && index <= most;
}

bool NoOuts(const Outs& o, const Pairs& p, bool write) {
    return SetFields(o, p, {}, write);
}

bool CameraCount(const Outs& o, const Pairs& p, bool write) {
    return SetFields(o, p, {{"count", Kind::Int32, 0, 0}}, write);
}

// count=N (the count word), entryK=cameraId,deviceId,inUse,status,serial,info (texts of at
// most 16 bytes, '-' for an empty one).
bool CameraList(const Outs& o, const Pairs& p, bool write) {
    for (const auto& [key, value] : p) {
        int64_t k = 0;
        if (key == "count") {
            if (!SetFields(o, Pairs{{key, value}}, {{"count", Kind::Int32, 0, 0}}, write)) {
                return false;
            }
            continue;
        }
        std::vector<std::string> f;
        std::istringstream in(value);
        for (std::string part; std::getline(in, part, ',');) {
            f.push_back(part == "-" ? std::string() : part);
        }
        UeyeCameraEntry e = {};
        if (!Indexed(key, "entry", 4095, k) || f.size() != 6 || !Word(f[0], e.nCameraId) ||
            !Word(f[1], e.nDeviceId) || !Word(f[2], e.nInUse) || !Word(f[3], e.nStatus) ||
            f[4].size() > 16 || f[5].size() > 16) {
            return false;
        }
        std::memcpy(e.szSerNo, f[4].data(), f[4].size());
        std::memcpy(e.szInfo, f[5].data(), f[5].size());
        const uint64_t at = 4 + sizeof e * static_cast<uint64_t>(k);
        if (!Room(o, 0, at, sizeof e)) {
            return false;
        }
        Put(o, 0, at, &e, sizeof e, write);
    }
    return true;
}

bool CameraInit(const Outs& o, const Pairs& p, bool write) {
    return SetFields(o, p, {{"hCam", Kind::Int32, 0, 0}}, write);
}

bool InitRetryQuery(const Outs& o, const Pairs& p, bool write) {
    return SetFields(o, p, {{"value", Kind::Int32, 0, 0}}, write);
}

bool SensorInfo(const Outs& o, const Pairs& p, bool write) {
    return SetFields(o, p,
                     {{"color", Kind::Byte, 0, 34},
                      {"width", Kind::Int32, 0, 36},
                      {"height", Kind::Int32, 0, 40}},
                     write);
}

bool ImageMemAlloc(const Outs& o, const Pairs& p, bool write) {
    return SetFields(o, p, {{"id", Kind::Int32, 0, 0}}, write);
}

bool Aoi(const Outs& o, const Pairs& p, bool write) {
    switch (o.command) {
    case ueye::kAoiGetRect:
        return SetFields(o, p,
                         {{"x", Kind::Int32, 0, 0},
                          {"y", Kind::Int32, 0, 4},
                          {"w", Kind::Int32, 0, 8},
                          {"h", Kind::Int32, 0, 12}},
                         write);
    case ueye::kAoiGetSize:
    case ueye::kAoiGetSizeMin:
    case ueye::kAoiGetSizeMax:
    case ueye::kAoiGetSizeStep:
        return SetFields(o, p, {{"w", Kind::Int32, 0, 0}, {"h", Kind::Int32, 0, 4}}, write);
    case ueye::kAoiGetPosMin:
    case ueye::kAoiGetPosStep:
        return SetFields(o, p, {{"x", Kind::Int32, 0, 0}, {"y", Kind::Int32, 0, 4}}, write);
    case ueye::kAoiFullWidth:
    case ueye::kAoiFullHeight:
        return SetFields(o, p, {{"full", Kind::Int32, 0, 0}}, write);
    default:
        return NoOuts(o, p, write);
    }
}

bool Exposure(const Outs& o, const Pairs& p, bool write) {
    if (o.command == ueye::kExposureRange) {
        return SetFields(o, p,
                         {{"min", Kind::Double, 0, 0},
                          {"max", Kind::Double, 0, 8},
                          {"inc", Kind::Double, 0, 16}},
                         write);
    }
    if (o.command == ueye::kExposureGet || o.command == ueye::kExposureSet) {
        return SetFields(o, p, {{"ms", Kind::Double, 0, 0}}, write);
    }
    return NoOuts(o, p, write);
}

bool FrameRate(const Outs& o, const Pairs& p, bool write) {
    return SetFields(o, p, {{"new", Kind::Double, 0, 0}}, write);
}

bool FrameTimeRange(const Outs& o, const Pairs& p, bool write) {
    return SetFields(
        o, p,
        {{"min", Kind::Double, 0, 0}, {"max", Kind::Double, 1, 0}, {"inc", Kind::Double, 2, 0}},
        write);
}

// total=N, and cC=N for the counter of status code C (0 to 255, decimal).
bool CaptureStatus(const Outs& o, const Pairs& p, bool write) {
    if (o.command != ueye::kCaptureStatusGet) {
        return NoOuts(o, p, write);
    }
    for (const auto& [key, value] : p) {
        int64_t code = 0;
        uint32_t n = 0;
        if (!Word(value, n) || (key != "total" && !Indexed(key, "c", 255, code))) {
            return false;
        }
        const uint64_t at = key == "total" ? 0 : 64 + 4 * static_cast<uint64_t>(code);
        if (!Room(o, 0, at, 4)) {
            return false;
        }
        Put(o, 0, at, &n, 4, write);
    }
    return true;
}

bool Io(const Outs& o, const Pairs& p, bool write) {
    if (o.command == ueye::kIoOutputMin || o.command == ueye::kIoOutputMax) {
        return SetFields(o, p, {{"limit", Kind::Double, 0, 0}}, write);
    }
    return NoOuts(o, p, write);
}

// size=N; bytes=HEX into the buffer of a read, at most as many bytes as it asked for.
bool CameraMemory(const Outs& o, const Pairs& p, bool write) {
    if (o.command == ueye::kMemorySize) {
        return SetFields(o, p, {{"size", Kind::Int32, 0, 0}}, write);
    }
    if (o.command != ueye::kMemoryRead) {
        return NoOuts(o, p, write);
    }
    for (const auto& [key, value] : p) {
        std::vector<uint8_t> bytes;
        if (key != "bytes" || !ParseHex(value, bytes) || !Room(o, 0, 0, bytes.size())) {
            return false;
        }
        Put(o, 0, 0, bytes.data(), bytes.size(), write);
    }
    return true;
}

struct Writer {
    const char* call;
    bool (*write)(const Outs&, const Pairs&, bool);
};

constexpr Writer kWriters[] = {
    {"is_CameraCount", CameraCount},
    {"is_CameraList", CameraList},
    {"is_CameraInit", CameraInit},
    {"is_InitRetryQuery", InitRetryQuery},
    {"is_CameraExit", NoOuts},
    {"is_SensorInfo", SensorInfo},
    {"is_DisplayMode", NoOuts},
    {"is_ColorMode", NoOuts},
    {"is_ImageMemAlloc", ImageMemAlloc},
    {"is_ImageMemActivate", NoOuts},
    {"is_ImageMemFree", NoOuts},
    {"is_EventMessage", NoOuts},
    {"is_StopLiveVideo", NoOuts},
    {"is_CaptureVideo", NoOuts},
    {"is_TriggerMode", NoOuts},
    {"is_AOI", Aoi},
    {"is_Exposure", Exposure},
    {"is_FrameRate", FrameRate},
    {"is_FrameTimeRange", FrameTimeRange},
    {"is_Binning", NoOuts},
    {"is_Subsampling", NoOuts},
    {"is_CaptureStatus", CaptureStatus},
    {"is_IO", Io},
    {"is_ParameterFile", NoOuts},
    {"is_CameraMemory", CameraMemory},
};

// "key=value ..." as pairs; false for a word that is not one.
bool Split(const std::string& text, Pairs& pairs) {
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        const size_t eq = w.find('=');
        if (eq == std::string::npos || eq == 0) {
            return false;
        }
        pairs.emplace_back(w.substr(0, eq), w.substr(eq + 1));
    }
    return true;
}

} // namespace

int32_t WriteOuts(const std::string& call, const Outs& outs, const std::string& text,
                  int32_t& result) {
    const Writer* writer = nullptr;
    for (const Writer& w : kWriters) {
        writer = call == w.call ? &w : writer;
    }
    Pairs all, pairs;
    if (writer == nullptr || !Split(text, all)) {
        return kInvalidParameter;
    }
    bool hasResult = false;
    uint32_t newResult = 0;
    for (const auto& pair : all) {
        if (pair.first != "result") {
            pairs.push_back(pair);
        } else if (!Word(pair.second, newResult)) {
            return kInvalidParameter;
        } else {
            hasResult = true;
        }
    }
    if (!writer->write(outs, pairs, false) || !writer->write(outs, pairs, true)) {
        return kInvalidParameter;
    }
    if (hasResult) {
        result = static_cast<int32_t>(newResult);
    }
    return 0;
}

std::string MergeOuts(const std::string& journalOuts, const std::string& text) {
    Pairs have, put;
    Split(journalOuts, have);
    Split(text, put);
    for (const auto& [key, value] : put) {
        bool found = false;
        for (auto& h : have) {
            if (h.first == key) {
                h.second = value;
                found = true;
            }
        }
        if (!found && key != "result") {
            have.emplace_back(key, value);
        }
    }
    std::string out;
    for (const auto& [key, value] : have) {
        out += (out.empty() ? "" : " ") + key + "=" + value;
    }
    return out;
}

} // namespace sim
