#include "sim_state.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace sim {

namespace {

// The cameras the library starts with: from TRV_SIM_CONFIG, else one colour camera.
void Configure(State& s) {
    char path[1024] = {};
    if (GetEnvironmentVariableA("TRV_SIM_CONFIG", path, sizeof path) == 0 || path[0] == 0) {
        s.cameras.push_back({sim_camera("4002870123", 1, 2, 1280, 1024)});
        return;
    }
    for (int n = 1; n <= 8; ++n) {
        const std::string section = "camera" + std::to_string(n);
        char serial[64] = {};
        GetPrivateProfileStringA(section.c_str(), "serial", "", serial, sizeof serial, path);
        if (serial[0] == 0) {
            continue;
        }
        auto value = [&](const char* key, int fallback) {
            return GetPrivateProfileIntA(section.c_str(), key, fallback, path);
        };
        s.cameras.push_back(
            {sim_camera(serial, value("device", n), static_cast<uint8_t>(value("color", 2)),
                        value("width", 1280), value("height", 1024))});
    }
    s.fps = static_cast<int32_t>(GetPrivateProfileIntA("library", "fps", 30, path));
}

} // namespace

State& Get() {
    static State* state = [] {
        State* s = new State; // lives to process end: the live thread may still use it
        Configure(*s);
        return s;
    }();
    return *state;
}

bool TakeFault(State& s, const char* call, int32_t& result) {
    auto it = s.faults.find(call);
    if (it == s.faults.end() || it->second.second <= 0) {
        return false;
    }
    result = it->second.first;
    --it->second.second;
    return true;
}

Camera* Open(State& s, uint32_t handle) {
    for (Camera& c : s.cameras) {
        if (handle != 0 && c.handle == handle) {
            return &c;
        }
    }
    return nullptr;
}

} // namespace sim

using sim::Get;

SIM_API void sim_reset() {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    for (auto& block : s.memory) {
        delete[] block.first;
    }
    s.memory.clear();
    s.cameras.clear();
    s.fps = 30;
    s.initDelayMs = 0;
    s.faults.clear();
    s.journal.clear();
    s.nextHandle = 1;
}

SIM_API int sim_add_camera(const SimCamera* camera) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    sim::Camera c;
    c.config = *camera;
    s.cameras.push_back(c);
    return static_cast<int>(s.cameras.size()) - 1;
}

SIM_API int sim_camera_count() {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    return static_cast<int>(s.cameras.size());
}

SIM_API void sim_fail(const char* call, int32_t result, int count) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    s.faults[call] = {result, count};
}

SIM_API void sim_set_fps(int32_t fps) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    s.fps = fps;
}

SIM_API int sim_post_event(int index, int32_t code, uint32_t total, int statusCode,
                           uint32_t count) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    if (index < 0 || static_cast<size_t>(index) >= s.cameras.size()) {
        return -1;
    }
    sim::Camera& c = s.cameras[static_cast<size_t>(index)];
    c.statusTotal += total;
    if (statusCode >= 0 && statusCode < 256) {
        c.statusCounts[statusCode] += count;
    }
    if (c.frameWindow == nullptr || c.handle == 0) {
        return -1;
    }
    return PostMessageW(c.frameWindow, 0x0500, static_cast<WPARAM>(code), c.handle) ? 0 : -1;
}

SIM_API void sim_set_init_delay_ms(uint32_t ms) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    s.initDelayMs = ms;
}

SIM_API uint32_t sim_frames_posted(int index) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    return index >= 0 && static_cast<size_t>(index) < s.cameras.size()
               ? s.cameras[static_cast<size_t>(index)].framesPosted
               : 0;
}

SIM_API int sim_journal_count() {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    return static_cast<int>(s.journal.size());
}

SIM_API int sim_journal_line(int index, char* buffer, int capacity) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    if (index < 0 || static_cast<size_t>(index) >= s.journal.size() || capacity <= 0) {
        return -1;
    }
    const std::string& line = s.journal[static_cast<size_t>(index)];
    const size_t n = std::min(line.size(), static_cast<size_t>(capacity - 1));
    std::memcpy(buffer, line.data(), n);
    buffer[n] = 0;
    return static_cast<int>(line.size());
}

SIM_API void sim_journal_clear() {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    s.journal.clear();
}
