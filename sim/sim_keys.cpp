// The keys by which a camera is configured, queried and loaded from a parameter file.
#include "sim_state.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace sim {

namespace {

// Exactly `n` whitespace-separated integers, decimal or 0x hex, each within 64 bits.
bool Ints(const std::string& text, size_t n, int64_t* out) {
    std::istringstream in(text);
    std::string word;
    size_t count = 0;
    while (in >> word) {
        if (count == n) {
            return false;
        }
        errno = 0;
        char* end = nullptr;
        const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
        const int64_t v = hex ? static_cast<int64_t>(std::strtoull(word.c_str() + 2, &end, 16))
                              : std::strtoll(word.c_str(), &end, 10);
        if (errno != 0 || end == nullptr || *end != 0) {
            return false;
        }
        out[count++] = v;
    }
    return count == n;
}

bool Doubles(const std::string& text, size_t n, double* out) {
    std::istringstream in(text);
    std::string word;
    size_t count = 0;
    while (in >> word) {
        if (count == n) {
            return false;
        }
        char* end = nullptr;
        out[count++] = std::strtod(word.c_str(), &end);
        if (end == nullptr || *end != 0) {
            return false;
        }
    }
    return count == n;
}

bool Int32(const std::string& text, int32_t& out) {
    int64_t v = 0;
    if (!Ints(text, 1, &v) || v < INT32_MIN || v > static_cast<int64_t>(UINT32_MAX)) {
        return false;
    }
    out = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

bool UInt32(const std::string& text, uint32_t& out) {
    int32_t v = 0;
    if (!Int32(text, v)) {
        return false;
    }
    out = static_cast<uint32_t>(v);
    return true;
}

bool PairOf(const std::string& text, Pair& out) {
    int64_t v[2];
    if (!Ints(text, 2, v)) {
        return false;
    }
    out = {static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1])};
    return true;
}

bool RangeOf(const std::string& text, Range& out) {
    double v[3];
    if (!Doubles(text, 3, v)) {
        return false;
    }
    out = {v[0], v[1], v[2]};
    return true;
}

// A 16-byte text of the camera list: longer texts are cut.
void Text(const std::string& text, char (&field)[17]) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), text.size() < 16 ? text.size() : 16);
}

bool HexBytes(const std::string& text, std::vector<uint8_t>& out) {
    std::string digits;
    for (char ch : text) {
        if (ch != ' ') {
            digits += ch;
        }
    }
    if (digits.size() % 2 != 0) {
        return false;
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
        const std::string two = digits.substr(i, 2);
        if (!std::isxdigit(static_cast<unsigned char>(two[0])) ||
            !std::isxdigit(static_cast<unsigned char>(two[1]))) {
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(std::strtoul(two.c_str(), nullptr, 16)));
    }
    out = bytes;
    return true;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        out += Format("%02x", b);
    }
    return out;
}

bool ApplyParameter(Camera::Parameters& p, const std::string& key, const std::string& value) {
    if (key == "aoi") {
        int64_t v[4];
        if (!Ints(value, 4, v)) {
            return false;
        }
        p.aoi = {static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), static_cast<int32_t>(v[2]),
                 static_cast<int32_t>(v[3])};
        return true;
    }
    if (key == "aoi_full") {
        return PairOf(value, p.full);
    }
    if (key == "binning") {
        return UInt32(value, p.binning);
    }
    if (key == "subsampling") {
        return UInt32(value, p.subsampling);
    }
    if (key == "exposure") {
        return Doubles(value, 1, &p.exposure);
    }
    if (key == "fps") {
        return Doubles(value, 1, &p.fps);
    }
    return false;
}

} // namespace

bool ApplyKey(Camera& c, const std::string& key, const std::string& value, bool parameterOnly) {
    if (ApplyParameter(c.p, key, value)) {
        return true;
    }
    if (parameterOnly) {
        return false;
    }
    SimCamera& id = c.config;
    if (key == "serial") {
        Text(value, id.serial);
        return true;
    }
    if (key == "info") {
        Text(value, id.info);
        return true;
    }
    if (key == "device") {
        // The camera id follows the device id unless it is set on its own.
        const bool same = id.cameraId == id.deviceId;
        if (!UInt32(value, id.deviceId)) {
            return false;
        }
        if (same) {
            id.cameraId = id.deviceId;
        }
        return true;
    }
    if (key == "width" || key == "height") {
        uint32_t v = 0;
        if (!UInt32(value, v)) {
            return false;
        }
        (key == "width" ? id.maxWidth : id.maxHeight) = v;
        c.sizeMax = {static_cast<int32_t>(id.maxWidth), static_cast<int32_t>(id.maxHeight)};
        c.p.aoi = {c.posMin.a, c.posMin.b, c.sizeMax.a, c.sizeMax.b};
        return true;
    }
    if (key == "color") {
        uint32_t v = 0;
        if (!UInt32(value, v)) {
            return false;
        }
        id.colorKind = static_cast<uint8_t>(v);
        return true;
    }
    struct U32Key {
        const char* name;
        uint32_t* field;
    };
    const U32Key u32Keys[] = {{"camera_id", &id.cameraId},
                              {"in_use", &id.inUse},
                              {"status", &id.status},
                              {"strobe", &c.strobe}};
    for (const U32Key& k : u32Keys) {
        if (key == k.name) {
            return UInt32(value, *k.field);
        }
    }
    struct PairKey {
        const char* name;
        Pair* field;
    };
    const PairKey pairKeys[] = {{"aoi_pos_min", &c.posMin},
                                {"aoi_size_min", &c.sizeMin},
                                {"aoi_size_max", &c.sizeMax},
                                {"aoi_pos_step", &c.posStep},
                                {"aoi_size_step", &c.sizeStep}};
    for (const PairKey& k : pairKeys) {
        if (key == k.name) {
            return PairOf(value, *k.field);
        }
    }
    if (key == "exposure_range") {
        return RangeOf(value, c.exposureRange);
    }
    if (key == "frame_time_range") {
        return RangeOf(value, c.frameTime);
    }
    if (key == "trigger") {
        return Int32(value, c.trigger);
    }
    if (key == "trigger_supported") {
        return Int32(value, c.triggerSupported);
    }
    if (key == "io_limits") {
        double v[2];
        if (!Doubles(value, 2, v)) {
            return false;
        }
        c.ioLower = v[0];
        c.ioUpper = v[1];
        return true;
    }
    if (key == "user_memory") {
        return HexBytes(value, c.userMemory);
    }
    if (key == "user_memory_size") {
        return Ints(value, 1, &c.userMemorySize);
    }
    if (key == "sensor_info_bytes") {
        int32_t v = 0;
        if (!Int32(value, v) || v < 44 || v > 4096) {
            return false;
        }
        c.sensorInfoBytes = static_cast<size_t>(v);
        return true;
    }
    if (key == "stalled") {
        int32_t v = 0;
        if (!Int32(value, v)) {
            return false;
        }
        c.stalled = v != 0;
        return true;
    }
    return false;
}

bool QueryKey(const Camera& c, const std::string& key, std::string& value) {
    const Camera::Parameters& p = c.p;
    if (key == "aoi") {
        value = Format("%d %d %d %d", p.aoi.x, p.aoi.y, p.aoi.w, p.aoi.h);
    } else if (key == "binning") {
        value = Format("0x%x", p.binning);
    } else if (key == "subsampling") {
        value = Format("0x%x", p.subsampling);
    } else if (key == "exposure") {
        value = Format("%.12g", p.exposure);
    } else if (key == "fps") {
        value = Format("%.12g", p.fps);
    } else if (key == "trigger") {
        value = Format("0x%x", static_cast<uint32_t>(c.trigger));
    } else if (key == "strobe") {
        value = Format("%u", c.strobe);
    } else if (key == "handle") {
        value = Format("%u", c.handle);
    } else if (key == "live") {
        value = std::string(1, c.live ? '1' : '0');
    } else if (key == "color_mode") {
        value = Format("%d", c.colorMode);
    } else if (key == "output") {
        value = Format("%u %.12g %.12g %u", c.output.selected, c.output.base, c.output.level,
                       c.output.applies);
    } else if (key == "user_memory") {
        value = Hex(c.userMemory);
    } else {
        return false;
    }
    return true;
}

bool ParseInt(const std::string& text, int64_t& out) {
    return Ints(text, 1, &out);
}

bool ParseDouble(const std::string& text, double& out) {
    return Doubles(text, 1, &out);
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& out) {
    return HexBytes(text, out);
}

bool ApplyLibraryKey(State& s, const std::string& key, const std::string& value) {
    if (key == "count_extra") {
        return Int32(value, s.countExtra);
    }
    if (key == "list_count") {
        return Ints(value, 1, &s.listCount);
    }
    if (key == "fps") {
        return Doubles(value, 1, &s.fps);
    }
    return false;
}

} // namespace sim
