// Live video: one thread writes each live camera's frames into its active image memory at the
// camera's frame rate and posts the frame event to the window registered for it. A camera in
// a hardware trigger mode waits for sim_hardware_trigger; a camera whose memory does not fit
// its image writes nothing and reports a failed transfer.
#include "sim_state.h"
#include "ueye/ueye_api.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr int64_t kIdleWaitUs = 100000;
constexpr int64_t kShortestPeriodUs = 100;
constexpr int kNoDestinationMemory = 0xA2;

HANDLE gWake = nullptr; // set when a camera starts or is triggered

bool WaitsForHardwareTrigger(const Camera& c) {
    return c.trigger != 0 && c.trigger != IS_SET_TRIGGER_SOFTWARE;
}

void PostEvent(const Camera& c, int32_t code) {
    auto it = c.eventWindows.find(code);
    if (it != c.eventWindows.end() && it->second != nullptr) {
        PostMessageW(it->second, IS_UEYE_MESSAGE, static_cast<WPARAM>(code), c.handle);
    }
}

// The test pattern of sim_pattern_byte, written a 64 KiB block at a time: the pattern repeats
// every 256 bytes.
void WritePattern(char* memory, size_t bytes, uint32_t frame) {
    static char block[65536];
    for (size_t i = 0; i < sizeof block; ++i) {
        block[i] = static_cast<char>(sim_pattern_byte(frame, 256 + i));
    }
    for (size_t done = 0; done < bytes; done += sizeof block) {
        std::memcpy(memory + done, block, std::min(sizeof block, bytes - done));
    }
    for (size_t i = 0; i < 4 && i < bytes; ++i) {
        memory[i] = static_cast<char>(sim_pattern_byte(frame, i));
    }
}

void Produce(State& s, Camera& c) {
    const ImageFormat f = CurrentFormat(c);
    auto it = s.memory.find(c.activeMemory);
    if (it == s.memory.end() || it->second.width != f.width || it->second.height != f.height ||
        it->second.bits != f.bits) {
        ++c.statusTotal;
        ++c.statusCounts[kNoDestinationMemory];
        ++s.stats.transferFailures;
        PostEvent(c, IS_TRANSFER_FAILED);
        return;
    }
    const uint32_t frame = ++c.framesPosted;
    ++s.stats.framesPosted;
    WritePattern(c.activeMemory, static_cast<size_t>(f.width) * f.height * (f.bits / 8), frame);
    const size_t slot = frame % kPostTimes;
    c.postFrame[slot] = frame;
    c.postUs[slot] = NowUs();
    PostEvent(c, 0);
}

DWORD WINAPI LiveThread(LPVOID) {
    timeBeginPeriod(1);
    for (;;) {
        State& s = Get();
        int64_t wake = 0;
        {
            std::lock_guard<std::mutex> g(s.lock);
            const int64_t now = NowUs();
            wake = now + kIdleWaitUs;
            for (Camera& c : s.cameras) {
                if (!c.live || c.handle == 0 || c.stalled) {
                    continue;
                }
                if (WaitsForHardwareTrigger(c)) {
                    for (; c.pendingTriggers > 0; --c.pendingTriggers) {
                        Produce(s, c);
                    }
                    continue;
                }
                const int64_t period = std::max(
                    kShortestPeriodUs, static_cast<int64_t>(1e6 / std::max(c.p.fps, 1e-3)));
                if (now >= c.nextFrameUs) {
                    Produce(s, c);
                    c.nextFrameUs += period;
                    if (c.nextFrameUs <= now) {
                        c.nextFrameUs = now + period; // a sensor does not queue missed frames
                    }
                }
                wake = std::min(wake, c.nextFrameUs);
            }
        }
        const int64_t waitUs = wake - NowUs();
        WaitForSingleObject(gWake, waitUs > 0 ? static_cast<DWORD>(waitUs / 1000) : 0);
    }
}

} // namespace

void StartLiveThread(State& s) {
    if (gWake == nullptr) {
        gWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    if (s.liveThread == nullptr) {
        s.liveThread = CreateThread(nullptr, 0, LiveThread, nullptr, 0, nullptr);
    }
    SetEvent(gWake);
}

} // namespace sim
