// The common frame of a call: lock, cues, handle check, journal line.
#pragma once

#include "sim_replay.h"
#include "sim_state.h"
#include "ueye/ueye_api.h"

#include <string>

namespace sim {

// The frame of every call. `find(state)` gives the camera the call is on (null: none), and
// `body(state, camera, journalOuts)` answers it. The cues matching the call act on it: their
// callbacks run first, outside the lock; a failing cue answers instead of the body; their
// out-values are written over the body's (`outs` says where those lie); their events are
// posted after the call. Journals "<head> -> <result>[ <outs>]".
template <class Find, class Body>
UeyeStatus Call(const char* call, int64_t command, const std::string& head, const Outs& outs,
                Find find, Body body) {
    ReplayTurn turn(call, head);
    if (turn.Answers()) {
        return turn.Answer(outs);
    }
    State& s = Get();
    std::unique_lock<std::mutex> g(s.lock);
    const Fired fired = TakeCues(s, call, command, find(s));
    RunCallbacks(fired, g);
    Camera* cam = find(s);
    int32_t result = fired.result;
    std::string journalOuts;
    if (!fired.fails) {
        result = body(s, cam, journalOuts);
        ApplyOuts(call, fired, outs, result, journalOuts);
    }
    turn.Check(s, result, journalOuts, outs);
    Journal(s, head + " -> " + std::to_string(result) + (journalOuts.empty() ? "" : " ") +
                   journalOuts);
    PostCueEvents(s, fired, cam);
    return result;
}

// A call on the camera open under `hCam`: journalled as "<call> hCam=<h> <args>"; a handle
// that is not open answers kInvalidHandle. `command` < 0: the call has none.
template <class Body>
UeyeStatus OnCamera(const char* call, int64_t command, UeyeHandle hCam, const std::string& args,
                    const Outs& outs, Body body) {
    return Call(
        call, command, Format("%s hCam=%u%s%s", call, hCam, args.empty() ? "" : " ", args.c_str()),
        outs, [hCam](State& s) { return Open(s, hCam); },
        [&body](State& s, Camera* cam, std::string& journalOuts) {
            if (cam == nullptr) {
                ++s.stats.closedHandleCalls;
                return kInvalidHandle;
            }
            return body(*cam, journalOuts);
        });
}

// The out-values of a call: its command and buffer, or its out pointers.
inline Outs OutsOf(int64_t command, void* param, uint32_t size) {
    Outs o;
    o.command = command;
    o.at[0] = param;
    o.size = size;
    return o;
}

// "a,b,c" of `n` 32-bit integers.
inline std::string Ints(const int32_t* v, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += Format(i == 0 ? "%d" : ",%d", v[i]);
    }
    return out;
}

} // namespace sim
