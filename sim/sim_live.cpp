// Live video: a thread writes the test pattern into each live camera's active image memory
// and posts the frame event to the window registered for it.
#include "sim_state.h"
#include "ueye/ueye_api.h"

namespace sim {

namespace {

DWORD WINAPI LiveThread(LPVOID) {
    for (;;) {
        State& s = Get();
        DWORD periodMs = 33;
        {
            std::lock_guard<std::mutex> g(s.lock);
            periodMs = s.fps > 0 ? static_cast<DWORD>(1000 / s.fps) : 1000;
            for (Camera& c : s.cameras) {
                if (!c.live || c.handle == 0 || c.activeMemory == nullptr) {
                    continue;
                }
                auto it = s.memory.find(c.activeMemory);
                if (it == s.memory.end()) {
                    continue;
                }
                const Memory& m = it->second;
                const size_t bytes = static_cast<size_t>(m.width) * m.height * (m.bits / 8);
                const uint32_t frame = ++c.framesPosted;
                for (size_t i = 0; i < bytes; ++i) {
                    c.activeMemory[i] = static_cast<char>(sim_pattern_byte(frame, i));
                }
                if (c.frameWindow != nullptr) {
                    PostMessageW(c.frameWindow, IS_UEYE_MESSAGE, 0, c.handle);
                }
            }
        }
        Sleep(periodMs);
    }
}

} // namespace

void StartLiveThread(State& s) {
    if (s.liveThread == nullptr) {
        s.liveThread = CreateThread(nullptr, 0, LiveThread, nullptr, 0, nullptr);
    }
}

} // namespace sim
