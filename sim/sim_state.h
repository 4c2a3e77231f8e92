// State shared by the simulator's calls: cameras, cues, counters and the journal.
#pragma once

#include "sim_control.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace sim {

// Results of the simulated library besides 0.
constexpr int32_t kNoSuccess = -1;
constexpr int32_t kInvalidHandle = 1;
constexpr int32_t kNoMemory = 2;
constexpr int32_t kCantOpenDevice = 3;
constexpr int32_t kNoActiveMemory = 108;
constexpr int32_t kInvalidParameter = 125;
constexpr int32_t kFileRefused = 188;

struct Pair {
    int32_t a = 0, b = 0;
};

struct Rect {
    int32_t x = 0, y = 0, w = 0, h = 0;
};

struct Range {
    double min = 0.0, max = 0.0, inc = 0.0;
};

struct Block {
    int32_t width, height, bits;
    uint32_t owner; // handle of the camera that allocated it
    int32_t id;
};

// What a test told the library to do differently at some calls (sim_control.h, "Cues").
struct Cue {
    std::string text;     // as given, for reports
    std::string call;     // call name
    int64_t command = -1; // -1: any command
    int camera = -1;      // simulator index; -1: any camera
    uint32_t first = 1;   // the first matching call it acts on, counted from 1
    int64_t count = 1;    // matching calls it acts on from `first`; -1: every one
    uint32_t seen = 0;    // matching calls so far
    uint32_t fired = 0;   // calls it acted on
    bool fails = false;   // answers `result` instead of the call's body
    int32_t result = 0;
    std::string outs; // "key=value ..." written over what the body wrote back
    std::vector<std::pair<int32_t, int>>
        events;                        // posted after the call: code, camera (-1: its own)
    SimCueCallback callback = nullptr; // called before the body, outside the lock
    void* arg = nullptr;
};

// What the cues that act on one call do.
struct Fired {
    bool fails = false;
    int32_t result = 0;
    std::vector<std::string> outs;
    std::vector<std::pair<int32_t, int>> events;
    std::vector<std::pair<SimCueCallback, void*>> callbacks;
};

// Where a call's out-values lie, for the writer that overwrites them from text: its command
// (-1: none), the parameter buffer or the out pointers in order, and the bytes at `at[0]`.
struct Outs {
    int64_t command = -1;
    void* at[3] = {};
    uint32_t size = 0;
};

constexpr size_t kPostTimes = 4096;

struct Camera {
    SimCamera config = {};

    // What a parameter file may change.
    struct Parameters {
        Rect aoi;
        Pair full; // answers of is_AOI 19 and 20
        uint32_t binning = 0;
        uint32_t subsampling = 0;
        double exposure = 10.0; // ms
        double fps = 30.0;
    } p;

    Pair posMin, sizeMin{32, 4}, sizeMax, posStep{2, 2}, sizeStep{4, 2};
    Range exposureRange{0.01, 1000.0, 0.01};
    Range frameTime{0.001, 1.0, 0.001}; // seconds
    int32_t colorMode = 0;              // 0 until set: the sensor's own
    int32_t displayMode = 0;
    int32_t trigger = 0; // free run
    int32_t triggerSupported = 0x10CB;
    uint32_t strobe = 0;
    double ioLower = 0.0, ioUpper = 100000.0;
    struct Output {
        uint32_t selected = 0;
        double base = 0.0, level = 0.0; // last sent
        uint32_t applies = 0;
    } output;
    std::vector<uint8_t> userMemory;
    int64_t userMemorySize = -1; // reported size; -1: the real one
    bool stalled = false;
    size_t sensorInfoBytes = 64; // what the sensor-information call writes

    uint32_t handle = 0; // 0 while not open
    std::map<int32_t, HWND> eventWindows;
    char* activeMemory = nullptr;
    bool live = false;
    uint32_t pendingTriggers = 0;
    int64_t nextFrameUs = 0;
    uint32_t framesPosted = 0;
    uint32_t statusTotal = 0; // capture-status counters, cleared by their reset
    uint32_t statusCounts[256] = {};
    int64_t postUs[kPostTimes] = {};
    uint32_t postFrame[kPostTimes] = {};
};

struct State {
    std::mutex lock;
    std::vector<Camera> cameras;
    std::vector<Cue> cues;
    std::vector<std::string> journal;
    uint32_t nextHandle = 1;
    int32_t nextMemoryId = 1;
    std::map<char*, Block> memory;  // allocated blocks
    std::set<char*> writing;        // blocks the live thread writes into outside the lock
    std::set<char*> freeAfterWrite; // blocks freed while being written
    double fps = 30.0;              // of cameras added later
    DWORD initDelayMs = 0;
    int32_t countExtra = 0;
    int64_t listCount = -1;
    SimStats stats = {};
    HANDLE liveThread = nullptr;
};

State& Get();

// A camera with the default limits for its sensor size.
Camera MakeCamera(const SimCamera& config, double fps);

// Counts a call of `call` with `command` (-1: none) on `camera` (null: none) for every cue
// that matches it, and answers what the cues acting on this call do.
Fired TakeCues(State& s, const char* call, int64_t command, const Camera* camera);
// Calls the cues' callbacks, outside the lock that `g` holds, and takes the lock again.
void RunCallbacks(const Fired& fired, std::unique_lock<std::mutex>& g);
// Writes the cues' out-values over the call's (WriteOuts) and merges them into its journal text.
void ApplyOuts(const char* call, const Fired& fired, const Outs& outs, int32_t& result,
               std::string& journalOuts);
// Posts the cues' events; `camera` is the call's own.
void PostCueEvents(State& s, const Fired& fired, const Camera* camera);

// Writes "key=value ..." over the out-values of `call` (one writer per call; "result=" sets
// the call's result). 0, or kInvalidParameter, with nothing written, for an unknown call or
// key, a value that does not parse or an out-value the call does not have room for. With
// every pointer of `outs` null it only checks the text.
int32_t WriteOuts(const std::string& call, const Outs& outs, const std::string& text,
                  int32_t& result);
// The journal's "key=value ..." with the values of `text` in place of its own.
std::string MergeOuts(const std::string& journalOuts, const std::string& text);

// Integers decimal or 0x hex, within 64 bits; doubles as strtod reads them. False unless
// the whole text is one number.
bool ParseInt(const std::string& text, int64_t& out);
bool ParseDouble(const std::string& text, double& out);
// Bytes as pairs of hex digits, spaces allowed between them.
bool ParseHex(const std::string& text, std::vector<uint8_t>& out);

// Deletes an image memory block the camera library no longer knows, or, while the live
// thread writes into it, leaves that to the live thread.
void DeleteBlock(State& s, char* block);

// Camera open under `handle`, or null.
Camera* Open(State& s, uint32_t handle);

void Journal(State& s, const std::string& line);
std::string Format(const char* format, ...);

// Sets a camera key (parameterOnly: only the keys a parameter file may hold); false when the
// key is unknown or the value does not parse. Reads a key back; false when it is unknown.
bool ApplyKey(Camera& camera, const std::string& key, const std::string& value, bool parameterOnly);
bool QueryKey(const Camera& camera, const std::string& key, std::string& value);
bool ApplyLibraryKey(State& s, const std::string& key, const std::string& value);

// Size and depth of the image the camera produces now: area of interest (or the full sensor
// where is_AOI 19 or 20 says so) divided by binning and subsampling, bits by colour mode.
struct ImageFormat {
    int32_t width, height, bits;
};
ImageFormat CurrentFormat(const Camera& camera);
// Horizontal and vertical factor of binning or subsampling bits.
Pair Factors(uint32_t bits);
// The area of interest is one the camera accepts.
bool AcceptsAoi(const Camera& camera, const Rect& r);

// The exposure a camera applies: within its range and within one frame period.
double BoundExposure(const Camera& camera, double ms);

// Microseconds of the performance counter.
int64_t NowUs();

// Starts the thread that writes frames into the live cameras' memory and posts their events.
void StartLiveThread(State& s);

} // namespace sim
