// The common frame of a call on an open camera: lock, fault, handle check, journal line.
#pragma once

#include "sim_state.h"
#include "ueye/ueye_api.h"

#include <string>

namespace sim {

// Runs `body(camera, outs)` for the camera open under `hCam` and journals
// "<call> hCam=<h> <args> -> <result> <outs>". A pending fault answers instead of the body;
// a handle that is not open answers kInvalidHandle. `command` < 0: the call has none.
template <class Body>
UeyeStatus OnCamera(const char* call, int64_t command, UeyeHandle hCam, const std::string& args,
                    Body body) {
    State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    Camera* cam = Open(s, hCam);
    int32_t result = 0;
    std::string outs;
    if (!TakeFault(s, cam, call, command, result)) {
        if (cam == nullptr) {
            ++s.stats.closedHandleCalls;
            result = kInvalidHandle;
        } else {
            result = body(*cam, outs);
        }
    }
    Journal(s, Format("%s hCam=%u%s%s -> %d%s%s", call, hCam, args.empty() ? "" : " ", args.c_str(),
                      result, outs.empty() ? "" : " ", outs.c_str()));
    return result;
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
