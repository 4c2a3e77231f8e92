// How a recording is replayed: its threads, the order in which the replay lets the records
// happen, the events that must be queued together, and the settings the plug-in read. Pure code.
//
// The replay lets a gated record (a host command, a camera-library call, a camera event being
// handled) happen only when every compared record before it in `order` has happened. `order` is
// the recording's order with the frame events moved to where the plug-in decided them: a frame
// handed over is decided when the frame path took the command lock (its "taken" mark), a frame
// dropped under the lock where its drop record is; a frame dropped because a command held the
// lock is handled while that command waits at one of its calls, so that the command still holds
// the lock; one that a stream switch waits for, while the switch is held where it lets the
// host's messages through.
#pragma once

#include "replay/recording_reader.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace trv::replay {

struct Thread {
    int32_t th = 0;
    std::string role;             // "host", "camera" or "other"
    std::vector<size_t> compared; // indices into Recording::records, in the thread's order
    std::vector<size_t> calls;
    std::vector<size_t> commands; // "cmd" records
    std::vector<size_t> events;   // "ev" records
};

// A value the plug-in read, to be in place before it reads it.
struct EnvWrite {
    std::string file;    // "host", "config" (an INI value) or "probe" (a file there or not)
    std::string section; // of an INI value
    std::string key;     // the INI key, or the probed path
    std::string value;   // the INI value; "1" or "0" for a probe
};

struct Plan {
    std::vector<Thread> threads;   // in the order they first wrote
    std::vector<size_t> order;     // the compared records, in the order the replay lets them happen
    std::vector<int64_t> position; // per record: its place in `order`, -1 when not compared
    std::vector<char> skipHead;    // per "ev" record: the next event is queued before it is handled
    // Per "ev" record: the host thread whose stream switch waits for this frame (0: none). It is
    // handled only while that thread is held where the switch lets the host's messages through,
    // so that the switch counts the frames as it did.
    std::vector<int32_t> waitingThread;
    std::vector<EnvWrite> initial;                     // the settings and files before the session
    std::map<size_t, std::vector<EnvWrite>> afterGate; // written when a gated record's gate opens
    std::set<std::string> kinds;                       // the record kinds of the recording
    Json configDir;             // the configuration folder of the first START (string or null)
    int64_t longestGapUs = 0;   // the longest time between two records
    bool recordedOrder = false; // the frame events could not be moved: the recorded order
    size_t commands = 0, calls = 0, events = 0;
};

// False, with why in `error`, when the records do not make a session this replay can play.
bool BuildPlan(const Recording& rec, Plan& plan, std::string& error);

// The plan's thread of thread number `th`, or null.
const Thread* ThreadOf(const Plan& plan, int32_t th);

} // namespace trv::replay
