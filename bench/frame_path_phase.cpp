// What the camera thread records for every frame event, and one phase: a frame rate, a host,
// timing queries from a host thread or none.
#include "frame_path.h"
#include "infra/trv_params.h"
#include "sim_control.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>

namespace framepath {

int64_t Frequency() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<int64_t>(f.QuadPart);
    }();
    return frequency;
}

int64_t Ticks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t UsOf(int64_t ticks) {
    const int64_t f = Frequency();
    return ticks / f * 1000000 + ticks % f * 1000000 / f;
}

double Us(int64_t ticks) {
    return static_cast<double>(ticks) * 1e6 / static_cast<double>(Frequency());
}

int64_t TicksOfSeconds(double s) {
    return static_cast<int64_t>(s * static_cast<double>(Frequency()));
}

// ---------------------------------------------------------------------------------------
// What the camera thread records

namespace {

std::vector<Event> gEvents(kMaxEvents);
Event gSpare; // written once gEvents is full
std::atomic<uint32_t> gHandled{0};
// Frame events taken from the queue in the phase: by the window procedure or by the bench's own
// coalescing (the plug-in only looks at the next one).
std::atomic<uint32_t> gConsumed{0};
Event* gCurrent = nullptr; // camera thread only: the event whose callback may come
WNDPROC gPluginProc = nullptr;
HANDLE gMarkerSeen = nullptr;
std::atomic<bool> gSlowHost{false};
std::atomic<int64_t> gSlowTicks{0};
std::atomic<bool> gCoalesce{false};
std::atomic<DWORD> gPauseOnceMs{0};
bool gMono = true;
size_t gPixels = 0;

} // namespace

// The host callback: notes the time and the frame, then returns at once or, as a slow host,
// busy-waits twice the frame period.
void OnFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size, intptr_t,
             int32_t) {
    const int64_t now = Ticks();
    Event* e = gCurrent;
    if (e == nullptr) {
        return; // a frame from before the window was watched
    }
    e->callback = now;
    const size_t bytes = 3 * gPixels;
    if (pixels == nullptr || size < 0 || static_cast<size_t>(size) != bytes ||
        static_cast<size_t>(width) * static_cast<size_t>(height) != gPixels) {
        e->badSize = true;
    } else {
        // 8-bit pixels arrive three times over: memory byte i is byte 3i of the frame.
        const size_t step = gMono ? 3 : 1;
        uint32_t frame = 0;
        for (size_t i = 0; i < 4; ++i) {
            frame |= static_cast<uint32_t>(pixels[i * step]) << (8 * i);
        }
        e->pixelFrame = frame;
        // The last four memory bytes hold the number too, written before the first four.
        const size_t memoryBytes = gMono ? gPixels : bytes;
        uint32_t last = 0;
        for (size_t i = 0; i < 4; ++i) {
            last |= static_cast<uint32_t>(pixels[(memoryBytes - 4 + i) * step]) << (8 * i);
        }
        e->torn = last != frame;
    }
    if (const DWORD ms = gPauseOnceMs.exchange(0)) {
        Sleep(ms);
    }
    if (gSlowHost.load(std::memory_order_relaxed)) {
        const int64_t until = now + gSlowTicks.load(std::memory_order_relaxed);
        while (Ticks() < until) {
        }
    }
    e->callbackEnd = Ticks();
}

void OnError() {}

namespace {

Event* NextEvent() {
    const uint32_t n = gHandled.load(std::memory_order_relaxed);
    Event* e = n < gEvents.size() ? &gEvents[n] : &gSpare;
    *e = Event{};
    return e;
}

// Replaces the camera window's procedure: times the plug-in's handling of each frame event.
// With coalescing on, frame events already queued behind the one in hand are taken first and
// the plug-in handles only the newest: what the plug-in could do itself against a slow host.
LRESULT CALLBACK Probe(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kMarker) {
        SetEvent(gMarkerSeen);
        return 0;
    }
    if (msg != kFrameMessage || wParam != 0) {
        return CallWindowProcW(gPluginProc, hwnd, msg, wParam, lParam);
    }
    Event* e = NextEvent();
    if (gCoalesce.load(std::memory_order_relaxed)) {
        MSG queued;
        while (PeekMessageW(&queued, hwnd, kFrameMessage, kFrameMessage, PM_REMOVE)) {
            if (queued.wParam != 0) {
                CallWindowProcW(gPluginProc, hwnd, queued.message, queued.wParam, queued.lParam);
                continue;
            }
            e->coalesced = true;
            e->own = gConsumed.fetch_add(1, std::memory_order_relaxed);
            e->enter = e->exit = Ticks();
            gHandled.fetch_add(1, std::memory_order_release);
            e = NextEvent();
        }
    }
    gCurrent = e;
    e->own = gConsumed.fetch_add(1, std::memory_order_relaxed);
    e->enter = Ticks();
    const LRESULT result = CallWindowProcW(gPluginProc, hwnd, msg, wParam, lParam);
    e->exit = Ticks();
    if (e->callback == 0) {
        // The plug-in skips a frame event when the next camera event queued is a frame of the
        // same camera; it takes nothing out of the queue, so that event is still there.
        MSG next;
        e->skipped = PeekMessageW(&next, hwnd, kFrameMessage, kFrameMessage,
                                  PM_NOREMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE) &&
                     next.wParam == 0 && next.lParam == lParam;
    }
    gCurrent = nullptr;
    gHandled.fetch_add(1, std::memory_order_release);
    return result;
}

} // namespace

bool Drain(HWND window, DWORD ms) {
    ResetEvent(gMarkerSeen);
    if (!PostMessageW(window, kMarker, 0, 0)) {
        return false;
    }
    return WaitForSingleObject(gMarkerSeen, ms) == WAIT_OBJECT_0;
}

void ExpectFrames(bool mono, size_t pixels) {
    gMono = mono;
    gPixels = pixels;
    gMarkerSeen = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

bool WatchWindow(HWND window) {
    gPluginProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Probe));
    return Drain(window, 10000);
}

// ---------------------------------------------------------------------------------------
// Timing queries from a host thread

void QueryLoop(TrvCmdFn cmd, bool paced, double fps, const std::atomic<bool>& stop,
               QueryStats& out) {
    out.us.reserve(size_t{1} << 21);
    const int64_t begin = Ticks();
    while (!stop.load(std::memory_order_relaxed)) {
        TrvTimingParams timing = {};
        const int64_t a = Ticks();
        cmd(_TRV_DSHOW_CMD_GET_TIMING, reinterpret_cast<intptr_t>(&timing));
        const int64_t b = Ticks();
        if (out.us.size() < out.us.capacity()) {
            out.us.push_back(Us(b - a));
        }
        ++out.count;
        if (std::fabs(timing.dFrameRate - fps) > 1e-6 * fps) {
            ++out.wrongAnswers;
        }
        if (paced) {
            Sleep(1);
        }
    }
    out.seconds = Us(Ticks() - begin) / 1e6;
}

// ---------------------------------------------------------------------------------------
// One phase: a frame rate, a host, queries or none

Phase RunPhase(const Camera& c, const PhasePlan& plan) {
    Phase p;
    p.plan = plan;
    p.camera = c.index;
    sim_configure(c.index, "fps", Format("%.12g", plan.fps).c_str());
    sim_journal_clear();
    const bool slow = plan.host == HostKind::Slow || plan.host == HostKind::SlowCoalesced;
    gSlowTicks = slow ? static_cast<int64_t>(2.0 * static_cast<double>(Frequency()) / plan.fps) : 0;
    gSlowHost = slow;
    gCoalesce = plan.host == HostKind::SlowCoalesced;
    gPauseOnceMs = plan.host == HostKind::PauseOnce ? kPauseMs : 0;
    gHandled = 0;
    gConsumed = 0;
    const uint32_t before = sim_frames_posted(c.index);
    p.firstFrame = before + 1;

    std::atomic<bool> stopQueries{false};
    std::thread queries;
    if (plan.queries != Queries::None) {
        queries = std::thread(QueryLoop, c.cmd, plan.queries == Queries::Paced, plan.fps,
                              std::cref(stopQueries), std::ref(p.queries));
    }
    sim_configure(c.index, "stalled", "0");
    // The live thread looks at a stalled camera again within 100 ms.
    const int64_t giveUp = Ticks() + TicksOfSeconds(1.0);
    while (sim_frames_posted(c.index) == before && Ticks() < giveUp) {
        Sleep(1);
    }
    p.start = Ticks();
    const double seconds = std::min(plan.seconds, kMostFramesPerPhase / plan.fps);
    const int64_t end = p.start + TicksOfSeconds(seconds);
    while (Ticks() < end) {
        Sleep(5);
        const double posted = sim_frames_posted(c.index) - before;
        const double taken = gConsumed.load(std::memory_order_acquire);
        p.queue.push_back({Ticks(), posted - taken});
    }
    sim_configure(c.index, "stalled", "1");
    p.stop = Ticks();
    p.takenAtStop = gConsumed.load(std::memory_order_acquire);
    stopQueries = true;
    if (queries.joinable()) {
        queries.join();
    }
    p.posted = sim_frames_posted(c.index) - before;
    gSlowHost = false;
    gCoalesce = false;
    gPauseOnceMs = 0;
    p.drained = Drain(c.window, 60000);
    p.taken = gHandled.load(std::memory_order_acquire);
    const size_t kept = std::min<size_t>(p.taken, kMaxEvents);
    p.events.assign(gEvents.begin(), gEvents.begin() + static_cast<ptrdiff_t>(kept));
    for (uint32_t k = 0; k < p.posted; ++k) {
        p.postUs.push_back(sim_post_time_us(c.index, p.firstFrame + k));
    }
    return p;
}

} // namespace framepath
