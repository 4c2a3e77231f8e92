// Lens data as a simulated camera stores it, and the journal lines of the output calls.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace trvtest {

inline std::string Hex(const void* data, size_t size) {
    std::string out;
    char two[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(two, sizeof two, "%02x", static_cast<const unsigned char*>(data)[i]);
        out += two;
    }
    return out;
}

// A stored lens record; by default version 1.2, range 3, model 0x0A0B0C0D, resolution 5.5
// (0.0055 in unit 2), output 0 base 7000 scale 50 %, output 1 base 20000 scale 80 %.
struct LensRecord {
    uint8_t major = 1, minor = 2, range = 3;
    uint32_t model = 0x0A0B0C0D;
    uint8_t scale1 = 80, base1 = 20, scale0 = 50, base0 = 7;
    double calibration = 0.0055;
    uint8_t units = 2;
    size_t length = 41; // bytes stored

    // As the value of the simulator's "user_memory" key.
    std::string Hex() const {
        std::vector<uint8_t> d(41, 0);
        d[0] = major;
        d[1] = minor;
        d[2] = range;
        std::memcpy(&d[3], &model, 4);
        d[16] = scale1;
        d[17] = base1;
        d[19] = scale0;
        d[20] = base0;
        std::memcpy(&d[32], &calibration, 8);
        d[40] = units;
        d.resize(length, 0);
        return trvtest::Hex(d.data(), d.size());
    }
};

// The journal line of an output level: base and level as camera 1 receives them.
inline std::string LevelLine(double base, double level, int result = 0) {
    const double v[2] = {base, level};
    return "is_IO hCam=1 cmd=26 size=16 bytes=" + Hex(v, 16) + " -> " + std::to_string(result);
}

inline std::string ApplyLine(int result = 0) {
    return "is_IO hCam=1 cmd=28 size=4 bytes=02000000 -> " + std::to_string(result);
}

inline std::string ConfigLine(uint32_t output, int result = 0) {
    const uint32_t words[16] = {1, 0, 2, output};
    return "is_IO hCam=1 cmd=30 size=64 bytes=" + Hex(words, 64) + " -> " + std::to_string(result);
}

// A limit query (command 22 or 23) and, when it succeeded, the limit it answered.
inline std::string LimitLine(uint32_t command, int result, double answer) {
    const double zero[2] = {0.0, 0.0};
    std::string line = "is_IO hCam=1 cmd=" + std::to_string(command) +
                       " size=16 bytes=" + Hex(zero, 16) + " -> " + std::to_string(result);
    if (result == 0) {
        char out[32];
        std::snprintf(out, sizeof out, " out=%.12g", answer);
        line += out;
    }
    return line;
}

} // namespace trvtest
