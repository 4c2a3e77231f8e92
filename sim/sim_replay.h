// Replay: the library answers each call as a recording says, through a tool that follows the
// recording (trvreplay), or, to check the simulator, answers it itself first and lets the tool
// compare. The answers are written by the cue out-value writers (sim_control.h).
#pragma once

#include "sim_control.h"

#ifdef TRV_UEYE_SIM_BUILD
#include "sim_state.h"
#include "ueye/ueye_api.h"
#endif

#include <cstdint>

// What the tool answers to one call. `outs`: "key=value ..." as the cue writers take them
// (null: none), valid until the tool's next answer on this thread.
struct SimReplayAnswer {
    int32_t result;
    const char* outs;
    int runBody; // 1: the library works out its own answer first and hands it to `checked`
};
// Called on the calling thread before the call is answered, outside the library's lock: it
// may wait. `head` is the call and its arguments as the journal prints them.
typedef void (*SimReplayAsk)(void* arg, const char* call, const char* head,
                             SimReplayAnswer* answer);
// With runBody: the library's own result and out-values (as the journal prints them).
typedef void (*SimReplayChecked)(void* arg, const char* call, const char* head, int32_t result,
                                 const char* outs);
// From now on every call asks `ask` (null: the library answers as usual again). The image
// memory of a replayed allocation is really allocated, zeroed, and freed with its camera.
SIM_API void sim_replay(SimReplayAsk ask, SimReplayChecked checked, void* arg);

#ifdef TRV_UEYE_SIM_BUILD
namespace sim {

// One call's turn with the tool, in the call frame (sim_call.h).
class ReplayTurn {
  public:
    ReplayTurn(const char* call, const std::string& head);
    // The recorded answer is the call's whole answer: the body does not run.
    bool Answers() const { return m_on && !m_answer.runBody; }
    UeyeStatus Answer(const Outs& outs);
    // Under the library's lock, after the body: hands the body's answer to the tool, then writes
    // the recorded one over it, keeping the camera's handle and memory ids the recorded ones.
    void Check(State& s, int32_t& result, std::string& journalOuts, const Outs& outs);

  private:
    const char* m_call;
    const std::string& m_head;
    bool m_on = false;
    SimReplayAnswer m_answer = {};
    std::string m_outs;
};

} // namespace sim
#endif
