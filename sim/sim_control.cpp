// The control API: what tests and tools do to the simulated cameras.
#include "sim_state.h"

#include <algorithm>
#include <cstring>

using sim::Get;

namespace {

sim::Camera* At(sim::State& s, int index) {
    return index >= 0 && static_cast<size_t>(index) < s.cameras.size()
               ? &s.cameras[static_cast<size_t>(index)]
               : nullptr;
}

int CopyOut(const std::string& text, char* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) {
        return -1;
    }
    const size_t n = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return static_cast<int>(text.size());
}

} // namespace

SIM_API void sim_reset() {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    for (auto& block : s.memory) {
        sim::DeleteBlock(s, block.first);
    }
    s.memory.clear();
    s.cameras.clear();
    s.fps = 30.0;
    s.initDelayMs = 0;
    s.countExtra = 0;
    s.listCount = -1;
    s.cues.clear();
    s.journal.clear();
    s.stats = {};
    s.nextHandle = 1;
}

SIM_API int sim_add_camera(const SimCamera* camera) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    s.cameras.push_back(sim::MakeCamera(*camera, s.fps));
    return static_cast<int>(s.cameras.size()) - 1;
}

SIM_API int sim_camera_count() {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    return static_cast<int>(s.cameras.size());
}

SIM_API int sim_configure(int index, const char* key, const char* value) {
    if (key == nullptr || value == nullptr) {
        return -1;
    }
    sim::State& s = Get();
    for (;;) {
        {
            std::lock_guard<std::mutex> g(s.lock);
            if (index == -1) {
                return sim::ApplyLibraryKey(s, key, value) ? 0 : -1;
            }
            sim::Camera* c = At(s, index);
            if (c == nullptr) {
                return -1;
            }
            // A setting takes effect between two frames, not in the middle of one.
            if (s.writing.count(c->activeMemory) == 0) {
                return sim::ApplyKey(*c, key, value, false) ? 0 : -1;
            }
        }
        Sleep(0);
    }
}

SIM_API int sim_query(int index, const char* key, char* buffer, int capacity) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    sim::Camera* c = At(s, index);
    std::string value;
    if (c == nullptr || key == nullptr || !sim::QueryKey(*c, key, value)) {
        return -1;
    }
    return CopyOut(value, buffer, capacity);
}

SIM_API void sim_set_fps(int32_t fps) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    s.fps = fps;
    for (sim::Camera& c : s.cameras) {
        c.p.fps = fps;
    }
}

SIM_API int sim_post_event(int index, int32_t code, uint32_t total, int statusCode,
                           uint32_t count) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    sim::Camera* c = At(s, index);
    if (c == nullptr) {
        return -1;
    }
    c->statusTotal += total;
    if (statusCode >= 0 && statusCode < 256) {
        c->statusCounts[statusCode] += count;
    }
    auto window = c->eventWindows.find(code);
    if (c->handle == 0 || window == c->eventWindows.end() || window->second == nullptr) {
        return -1;
    }
    return PostMessageW(window->second, 0x0500, static_cast<WPARAM>(code), c->handle) ? 0 : -1;
}

SIM_API int sim_hardware_trigger(int index) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    sim::Camera* c = At(s, index);
    if (c == nullptr || !c->live) {
        return -1;
    }
    ++c->pendingTriggers;
    sim::StartLiveThread(s);
    return 0;
}

SIM_API void sim_set_init_delay_ms(uint32_t ms) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    s.initDelayMs = ms;
}

SIM_API uint32_t sim_frames_posted(int index) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    const sim::Camera* c = At(s, index);
    return c != nullptr ? c->framesPosted : 0;
}

SIM_API int64_t sim_post_time_us(int index, uint32_t frame) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    const sim::Camera* c = At(s, index);
    if (c == nullptr) {
        return -1;
    }
    const size_t slot = frame % sim::kPostTimes;
    return c->postFrame[slot] == frame && frame != 0 ? c->postUs[slot] : -1;
}

SIM_API void sim_stats(SimStats* stats) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    *stats = s.stats;
    stats->liveBlocks = static_cast<int32_t>(s.memory.size());
}

SIM_API int sim_journal_count() {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    return static_cast<int>(s.journal.size());
}

SIM_API int sim_journal_line(int index, char* buffer, int capacity) {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    if (index < 0 || static_cast<size_t>(index) >= s.journal.size()) {
        return -1;
    }
    return CopyOut(s.journal[static_cast<size_t>(index)], buffer, capacity);
}

SIM_API void sim_journal_clear() {
    sim::State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    s.journal.clear();
}
