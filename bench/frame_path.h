// The end-to-end frame benchmark's pieces: what the camera thread records, one phase at a
// frame rate, what a phase shows, the child process that runs one camera, the conversion and
// the system calls timed alone, and the report.
#pragma once

#include "frame_path_stats.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace framepath {

using bench::Format;
using bench::Num;
using bench::Spread;
using bench::SpreadOf;
using TrvCmdFn = int32_t (*)(int32_t, intptr_t);

constexpr UINT kFrameMessage = 0x0500;  // the camera library's event message; wParam 0: a frame
constexpr UINT kMarker = WM_APP + 0x2A; // the bench's own: every event posted before it is taken
constexpr size_t kMaxEvents = 16384;
constexpr size_t kSettleEvents = 2; // the first events of a phase follow a pause: not timed
// The simulator keeps the post times of the last 4096 frames.
constexpr double kMostFramesPerPhase = 3500;
constexpr DWORD kPauseMs = 300;

const double kRates[] = {15, 30, 60, 90, 120, 180, 240, 360, 480, 720, 960, 1440, 1920, 2880, 3840};
constexpr double kSweepSeconds = 1.2;
constexpr double kSlowFps = 30;
constexpr double kSlowSeconds = 4.0;
constexpr double kQueryTightFps[] = {30, 120};
constexpr double kQueryPacedFps = 120;
constexpr double kQuerySeconds = 2.0;

// Clock: the performance counter.
int64_t Frequency();
int64_t Ticks();
int64_t UsOf(int64_t ticks); // rounded the way the simulator rounds its post times
double Us(int64_t ticks);
int64_t TicksOfSeconds(double s);

// One frame event the camera window took from its queue.
struct Event {
    int64_t enter = 0;       // the plug-in's window procedure called
    int64_t exit = 0;        // and returned
    int64_t callback = 0;    // host callback entered; 0 when the plug-in made none
    int64_t callbackEnd = 0; // and returned
    uint32_t pixelFrame = 0; // the frame number the delivered pixels start with
    bool badSize = false;    // size not width x height x 3, or no pixels
    bool torn = false;       // the number at the end is another frame's
    bool coalesced = false;  // taken from the queue by the bench and never handed to the plug-in
    bool skipped = false;    // no callback, and a newer frame of the camera was queued next
    uint32_t own = 0;        // which frame event of the phase this is (0: the first posted)
};

// Quick: returns at once. Slow: busy-waits twice the frame period. PauseOnce: sleeps once, at
// the first frame, so that events queue up and are then taken back to back.
enum class HostKind { Quick, Slow, SlowCoalesced, PauseOnce };

enum class Queries { None, Tight, Paced };

struct QueryStats {
    uint64_t count = 0;
    uint64_t wrongAnswers = 0; // frame rate not the camera's
    double seconds = 0;
    std::vector<double> us;
};

struct PhasePlan {
    double fps;
    double seconds;
    HostKind host;
    Queries queries;
};

struct Sample {
    int64_t at;   // ticks
    double depth; // frames posted minus frame events taken
};

struct Phase {
    PhasePlan plan{};
    int camera = 0;
    uint32_t firstFrame = 0; // number of the first frame posted in the phase
    uint32_t posted = 0;
    int64_t start = 0; // first post seen
    int64_t stop = 0;  // camera stalled
    uint32_t takenAtStop = 0;
    uint32_t taken = 0; // after the drain
    bool drained = false;
    std::vector<Event> events;
    std::vector<int64_t> postUs; // of frame firstFrame + k
    std::vector<Sample> queue;
    QueryStats queries;
};

struct Camera {
    TrvCmdFn cmd = nullptr;
    HWND window = nullptr;
    int index = 0;
};

// Recording, on the camera thread. The host callbacks to hand the plug-in at START.
void OnFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size, intptr_t, int32_t);
void OnError();
// Before START: what the delivered frames must hold.
void ExpectFrames(bool mono, size_t pixels);
// Puts the bench's probe in front of the plug-in's window procedure; true once it takes
// messages.
bool WatchWindow(HWND window);
// True once every event posted to the window before now has been taken.
bool Drain(HWND window, DWORD ms);
// Asks for the timing until `stop`, checking the frame rate against `fps`; with `paced`, a
// pause of 1 ms between queries.
void QueryLoop(TrvCmdFn cmd, bool paced, double fps, const std::atomic<bool>& stop,
               QueryStats& out);
Phase RunPhase(const Camera& c, const PhasePlan& plan);

struct Figures {
    double postedPerSecond = NAN;
    uint32_t posted = 0;
    uint32_t taken = 0;
    uint32_t callbacks = 0;
    uint32_t droppedUnderLock = 0; // events the plug-in handled without a callback, no newer
                                   // frame queued next: a command held the lock
    uint32_t skipped = 0;          // events skipped for the newer frame queued next
    uint32_t coalesced = 0;
    uint32_t neverDelivered = 0; // frames posted that no callback's pixels held
    uint32_t repeats = 0;        // callbacks with a frame an earlier callback had
    uint32_t newerThanEvent = 0; // callbacks whose pixels hold a later frame than their event's
    uint32_t torn = 0;
    uint32_t badSize = 0;
    uint32_t unknownPost = 0; // delivered frames the simulator no longer has a post time for
    double queueMax = 0;
    double queueFirstQuarter = NAN;
    double queueLastQuarter = NAN;
    uint32_t queuedAtStop = 0;
    bool grows = false;
    uint32_t callbacksAfterStop = 0;
    uint32_t distinctAfterStop = 0;
    Spread wake;    // post of the event's own frame -> the plug-in's window procedure, us
    Spread delay;   // post of the frame in the pixels -> callback, us
    Spread age;     // post of the event's own frame -> callback, us
    Spread work;    // plug-in's window procedure minus the callback, us
    Spread gap;     // one event done -> the next one taken, when it was already queued, us
    Spread runtime; // callback, us
    std::vector<double> workSample;
    std::vector<double> gapSample;
};

int64_t PostUs(const Phase& p, uint32_t frame);
Figures Analyse(const Phase& p);
// No frame skipped, no queue growth.
bool Clean(const Figures& f);
// The camera thread no longer keeps up: the queue grows or a tenth of the frames is lost.
bool Broken(const Figures& f);
std::string MedianP99(const Spread& s);

struct CameraKind {
    const char* name;
    const char* title;
    uint8_t colorKind; // 2 colour, 1 mono
    int width;
    int height;
};

std::wstring OwnPath();
std::wstring OwnFolder();
// A child process: one camera, every phase; writes its tables and values to `outPath`.
int RunChild(const CameraKind& kind, const std::wstring& outPath);

struct ChildResult {
    bool ok = false;
    std::string markdown;
    std::map<std::string, double> values;
    double Get(const std::string& key) const {
        auto it = values.find(key);
        return it == values.end() ? NAN : it->second;
    }
};

struct Conversion {
    Spread hot;   // one source and one destination, reused
    Spread cold;  // sources and destinations rotating through 192 MiB
    Spread asRun; // source just written by another thread, two destinations in turn
    Spread paced; // the same with a pause of a frame period at 30 fps before each frame
    Spread write; // the simulator's pattern write of one frame
};

struct SystemCalls {
    double counter = NAN;     // QueryPerformanceCounter
    double tickCounts = NAN;  // two GetTickCount
    double section = NAN;     // TryEnterCriticalSection and LeaveCriticalSection
    double namedMutex = NAN;  // WaitForSingleObject and ReleaseMutex of a named mutex
    double post = NAN;        // PostMessageW
    double getDispatch = NAN; // GetMessageW and DispatchMessageW of a queued message
};

Conversion MeasureConversion(bool mono, size_t pixels);
SystemCalls MeasureSystemCalls();

void WriteReport(std::FILE* out, const ChildResult& mono, const ChildResult& colour,
                 const ChildResult& tiny, const Conversion& convMono, const Conversion& convColour,
                 const SystemCalls& calls);

} // namespace framepath
