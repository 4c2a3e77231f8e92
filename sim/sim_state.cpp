#include "sim_state.h"

#include <algorithm>
#include <cstring>

namespace sim {

State& Get() {
    static State state;
    return state;
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
    s.cameras.clear();
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
