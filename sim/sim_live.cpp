// Live video: one thread writes each live camera's frames (the test picture of sim_picture.h)
// into its active image memory at the camera's frame rate and posts the frame event to the
// window registered for it. A camera in a hardware trigger mode waits for sim_hardware_trigger;
// a camera whose memory does not fit its image writes nothing and reports a failed transfer.
#include "sim_picture.h"
#include "sim_state.h"
#include "ueye/ueye_api.h"

#include <mmsystem.h>

#include <algorithm>
#include <map>
#include <vector>

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

// The part of the sensor an image of format `f` shows.
PictureGeometry Geometry(const Camera& c, const ImageFormat& f) {
    const Pair bin = Factors(c.p.binning);
    const Pair sub = Factors(c.p.subsampling);
    PictureGeometry g;
    g.sensorWidth = static_cast<int32_t>(c.config.maxWidth);
    g.sensorHeight = static_cast<int32_t>(c.config.maxHeight);
    g.x = c.p.full.a != 0 ? 0 : c.p.aoi.x;
    g.y = c.p.full.b != 0 ? 0 : c.p.aoi.y;
    g.width = f.width;
    g.height = f.height;
    g.stepX = bin.a * sub.a;
    g.stepY = bin.b * sub.b;
    g.binX = bin.a;
    g.binY = bin.b;
    g.mono = f.bits == 8;
    return g;
}

// The still part of each camera's picture, kept while its geometry stays; the live thread's
// own, so drawn outside the lock.
struct Background {
    PictureGeometry geometry;
    std::vector<uint8_t> bytes;
};

void Write(std::map<size_t, Background>& backgrounds, size_t camera, const PictureGeometry& g,
           char* memory, uint32_t frame) {
    Background& b = backgrounds[camera];
    if (b.bytes.empty() || b.geometry != g) {
        b.geometry = g;
        RenderBackground(g, b.bytes);
    }
    WritePicture(g, b.bytes, frame, reinterpret_cast<uint8_t*>(memory));
}

// A frame decided under the lock and written outside it, as a camera's transfer does not
// hold up the library's calls.
struct Job {
    size_t camera;
    uint32_t handle;
    char* memory;
    PictureGeometry geometry;
    uint32_t frame;
};

// Under the lock: a frame of camera `index`, or a failed transfer when its memory does not
// fit the image.
void Decide(State& s, size_t index, std::vector<Job>& jobs) {
    Camera& c = s.cameras[index];
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
    s.writing.insert(c.activeMemory);
    jobs.push_back({index, c.handle, c.activeMemory, Geometry(c, f), frame});
}

// Under the lock again: the frame event, unless the camera stopped or its memory went away
// meanwhile; such a frame never left the camera, and its number goes to the next one.
void Finish(State& s, const Job& job) {
    s.writing.erase(job.memory);
    const bool freed = s.freeAfterWrite.erase(job.memory) != 0;
    if (freed) {
        delete[] job.memory;
    }
    Camera* c = job.camera < s.cameras.size() ? &s.cameras[job.camera] : nullptr;
    if (c == nullptr || c->handle != job.handle) {
        return;
    }
    if (freed || !c->live || c->activeMemory != job.memory) {
        if (c->framesPosted == job.frame) {
            --c->framesPosted;
            --s.stats.framesPosted;
        }
        return;
    }
    const size_t slot = job.frame % kPostTimes;
    c->postFrame[slot] = job.frame;
    c->postUs[slot] = NowUs();
    PostEvent(*c, 0);
}

DWORD WINAPI LiveThread(LPVOID) {
    timeBeginPeriod(1);
    std::vector<Job> jobs;
    std::map<size_t, Background> backgrounds;
    for (;;) {
        State& s = Get();
        int64_t wake = 0;
        jobs.clear();
        {
            std::lock_guard<std::mutex> g(s.lock);
            const int64_t now = NowUs();
            wake = now + kIdleWaitUs;
            for (size_t i = 0; i < s.cameras.size(); ++i) {
                Camera& c = s.cameras[i];
                if (!c.live || c.handle == 0 || c.stalled) {
                    continue;
                }
                if (WaitsForHardwareTrigger(c)) {
                    if (c.pendingTriggers > 0) {
                        --c.pendingTriggers;
                        Decide(s, i, jobs);
                        wake = now; // the next trigger, if any, at once
                    }
                    continue;
                }
                const int64_t period = std::max(
                    kShortestPeriodUs, static_cast<int64_t>(1e6 / std::max(c.p.fps, 1e-3)));
                if (now >= c.nextFrameUs) {
                    Decide(s, i, jobs);
                    c.nextFrameUs += period;
                    if (c.nextFrameUs <= now) {
                        c.nextFrameUs = now + period; // a sensor does not queue missed frames
                    }
                }
                wake = std::min(wake, c.nextFrameUs);
            }
        }
        for (const Job& job : jobs) {
            Write(backgrounds, job.camera, job.geometry, job.memory, job.frame);
        }
        if (!jobs.empty()) {
            std::lock_guard<std::mutex> g(s.lock);
            for (const Job& job : jobs) {
                Finish(s, job);
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
