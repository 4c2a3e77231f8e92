#include "replay_plan.h"

#include "replay/replay_compare.h"

#include <algorithm>
#include <tuple>

namespace trv::replay {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);
constexpr int64_t kStreamSwitch = 32; // waits for frames after its last call

struct Command {
    size_t cmd = kNone;
    size_t ret = kNone;
    int64_t code = 0;
    int32_t th = 0;
    std::vector<size_t> calls;
};

// The lines with which a stream switch ends its wait for frames.
constexpr const char* kWaitEnds[] = {"MySetStreamId success t=", "MySetStreamId fail t="};

// Whether the frame dropped at record `d` came while command `c` waited for frames: before the
// line that ends the wait.
bool DuringFrameWait(const Recording& rec, const Command& c, size_t d) {
    const size_t end = c.ret == kNone ? rec.records.size() : c.ret;
    for (size_t i = d + 1; i < end; ++i) {
        const Record& r = rec.records[i];
        if (r.th != c.th || r.kind != "log") {
            continue;
        }
        const std::string text = TextOf(r.j, "text");
        for (const char* line : kWaitEnds) {
            if (text.rfind(line, 0) == 0) {
                return true;
            }
        }
    }
    return false;
}

// Where a record goes in the replay's order: with record `major` (its own number when it stays;
// a moved record goes before it with a negative `minor`, after it with a positive one), then by
// `minor`, then by its own number.
using Key = std::tuple<int64_t, int64_t, uint64_t>;

std::string Describe(const Record& r, const std::string& what) {
    return "line " + std::to_string(r.line) + ": " + what;
}

bool CheckRecord(const Record& r, std::string& error) {
    const Json& j = r.j;
    if (r.kind == "thread" && !FieldOf(j, "role").is_string()) {
        error = Describe(r, "a thread record without its role");
    } else if (r.kind == "call" &&
               (TextOf(j, "fn").empty() || !FieldOf(j, "r").is_number_integer() ||
                !FieldOf(j, "in").is_object() || !FieldOf(j, "out").is_object())) {
        error = Describe(r, "a call without its name, arguments, result or out-values");
    } else if ((r.kind == "cmd" || r.kind == "ret") && !FieldOf(j, "code").is_number_integer()) {
        error = Describe(r, "a command record without its code");
    } else if (r.kind == "ev" && (!FieldOf(j, "code").is_number_integer() ||
                                  !FieldOf(j, "cam").is_number_integer())) {
        error = Describe(r, "an event without its code or camera");
    } else if (r.kind == "setting" && (TextOf(j, "key").empty() || !j.contains("value"))) {
        error = Describe(r, "a setting without its key or value");
    }
    return error.empty();
}

// The command that held the command lock when a frame event was dropped at record `d`: the one
// running then, or, when its start was written after the drop, the next one to start.
const Command* Holder(const std::vector<Command>& commands, const Recording& rec, size_t d) {
    const uint64_t n = rec.records[d].n;
    const Command* next = nullptr;
    for (const Command& c : commands) {
        const uint64_t start = rec.records[c.cmd].n;
        const uint64_t end = c.ret == kNone ? UINT64_MAX : rec.records[c.ret].n;
        if (start < n && end > n) {
            return &c;
        }
        if (start > n && (next == nullptr || start < rec.records[next->cmd].n)) {
            next = &c;
        }
    }
    return next;
}

// Moves each frame event to where the plug-in decided it (see replay_plan.h).
void PlaceFrameEvents(const Recording& rec, Plan& plan, const std::vector<Command>& commands,
                      std::vector<Key>& keys) {
    const auto& r = rec.records;
    for (const Thread& t : plan.threads) {
        if (t.role == "host") {
            continue;
        }
        std::vector<size_t> all; // every record of the thread, the uncompared ones too
        for (size_t i = 0; i < r.size(); ++i) {
            if (r[i].th == t.th) {
                all.push_back(i);
            }
        }
        for (size_t k = 0; k < all.size(); ++k) {
            const size_t e = all[k];
            if (r[e].kind != "ev" || IntOf(r[e].j, "code", -1) != 0) {
                continue;
            }
            size_t d = kNone;
            size_t between = 0; // compared records of the thread between event and decision
            for (size_t m = k + 1; m < all.size() && r[all[m]].kind != "ev"; ++m) {
                if (r[all[m]].kind == "frame" || r[all[m]].kind == "drop") {
                    d = all[m];
                    break;
                }
                between += Compared(r[all[m]]) ? 1 : 0;
            }
            if (d == kNone) {
                continue;
            }
            const int64_t ne = static_cast<int64_t>(r[e].n);
            const int64_t nd = static_cast<int64_t>(r[d].n);
            const std::string why = TextOf(r[d].j, "why");
            if (r[d].kind == "frame") {
                const int64_t taken = IntOf(r[d].j, "taken", 0);
                if (taken > 0 && taken < nd) {
                    keys[e] = {std::max(taken, ne), ne, r[e].n};
                }
                continue;
            }
            if (why != "lock") {
                plan.skipHead[e] = why == "newer";
                if (between == 0) {
                    keys[e] = {nd, -1, r[e].n};
                }
                continue;
            }
            const Command* c = Holder(commands, rec, d);
            if (c == nullptr) {
                continue;
            }
            const int64_t nc = static_cast<int64_t>(r[c->cmd].n);
            size_t lastBefore = kNone;
            bool callAfter = false;
            for (size_t call : c->calls) {
                if (static_cast<int64_t>(r[call].n) < nd) {
                    lastBefore = call;
                } else {
                    callAfter = true;
                }
            }
            // The switch waits for frames after its last call.
            if (c->code == kStreamSwitch && !callAfter && DuringFrameWait(rec, *c, d)) {
                plan.waitingThread[e] = c->th;
            }
            if (between != 0) {
                continue;
            }
            if (!callAfter && lastBefore != kNone && c->code != kStreamSwitch) {
                // Before the call, in their own order (minor below every record number).
                const int64_t nl = static_cast<int64_t>(r[lastBefore].n);
                keys[e] = {nl, ne - INT64_MAX / 2, r[e].n};
                keys[d] = {nl, nd - INT64_MAX / 2, r[d].n};
            } else if (nc > ne) {
                // The command took the lock before the frame path tried it, but was written after.
                keys[e] = {nc, ne, r[e].n};
                keys[d] = {nc, nd, r[d].n};
            }
        }
    }
}

// Each thread's records keep their order.
bool KeepsThreadOrder(const Plan& plan) {
    for (const Thread& t : plan.threads) {
        for (size_t k = 1; k < t.compared.size(); ++k) {
            if (plan.position[t.compared[k]] < plan.position[t.compared[k - 1]]) {
                return false;
            }
        }
    }
    return true;
}

void Order(const Recording& rec, Plan& plan, const std::vector<Key>& keys) {
    plan.order.clear();
    plan.position.assign(rec.records.size(), -1);
    for (size_t i = 0; i < rec.records.size(); ++i) {
        if (Compared(rec.records[i])) {
            plan.order.push_back(i);
        }
    }
    std::stable_sort(plan.order.begin(), plan.order.end(),
                     [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    for (size_t p = 0; p < plan.order.size(); ++p) {
        plan.position[plan.order[p]] = static_cast<int64_t>(p);
    }
}

std::string ValueText(const Json& v) {
    return v.is_string() ? v.get<std::string>() : v.dump();
}

// The settings and files as the plug-in found them: each key's first value before the session,
// and a later value that differs written when the reading thread last passed a gate before it.
void PlanEnvironment(const Recording& rec, Plan& plan) {
    std::map<size_t, size_t> lastGate; // record -> the gated record before it on its thread
    for (const Thread& t : plan.threads) {
        size_t gate = kNone;
        for (size_t i = 0; i < rec.records.size(); ++i) {
            const Record& r = rec.records[i];
            if (r.th != t.th) {
                continue;
            }
            if (r.kind == "setting" || r.kind == "probe") {
                lastGate[i] = gate;
            }
            if (r.kind == "call" || r.kind == "ev" || (r.kind == "cmd" && t.role == "host")) {
                gate = i;
            }
        }
    }
    std::map<std::string, std::string> current;
    for (size_t i = 0; i < rec.records.size(); ++i) {
        const Record& r = rec.records[i];
        EnvWrite w;
        if (r.kind == "setting") {
            w = {TextOf(r.j, "file"), TextOf(r.j, "section"), TextOf(r.j, "key"),
                 ValueText(FieldOf(r.j, "value"))};
        } else if (r.kind == "probe") {
            w = {"probe", "", TextOf(r.j, "path"), BoolOf(r.j, "found") ? "1" : "0"};
        } else {
            continue;
        }
        const std::string id = w.file + '\n' + w.section + '\n' + w.key;
        auto it = current.find(id);
        if (it == current.end()) {
            plan.initial.push_back(w);
        } else if (it->second != w.value && lastGate[i] != kNone) {
            plan.afterGate[lastGate[i]].push_back(w);
        }
        current[id] = w.value;
    }
}

} // namespace

const Thread* ThreadOf(const Plan& plan, int32_t th) {
    for (const Thread& t : plan.threads) {
        if (t.th == th) {
            return &t;
        }
    }
    return nullptr;
}

bool BuildPlan(const Recording& rec, Plan& plan, std::string& error) {
    plan = Plan();
    const auto& r = rec.records;
    plan.skipHead.assign(r.size(), 0);
    plan.waitingThread.assign(r.size(), 0);
    std::vector<Command> commands;
    std::map<int32_t, size_t> open; // thread -> its command still running
    int64_t lastT = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        if (!CheckRecord(r[i], error)) {
            return false;
        }
        plan.kinds.insert(r[i].kind);
        plan.longestGapUs = std::max(plan.longestGapUs, r[i].t - lastT);
        lastT = std::max(lastT, r[i].t);
        if (r[i].kind == "thread") {
            plan.threads.push_back({r[i].th, TextOf(r[i].j, "role"), {}, {}, {}, {}});
            continue;
        }
        if (r[i].kind == "end") {
            continue;
        }
        auto found = std::find_if(plan.threads.begin(), plan.threads.end(),
                                  [&](const Thread& x) { return x.th == r[i].th; });
        if (found == plan.threads.end()) {
            error = Describe(r[i], "a record of a thread that has no thread record");
            return false;
        }
        Thread& t = *found;
        if (Compared(r[i])) {
            t.compared.push_back(i);
        }
        const std::string& kind = r[i].kind;
        auto running = open.find(t.th);
        if (kind == "cmd") {
            if (t.role != "host") {
                error = Describe(r[i], "a host command on the camera thread (from a callback): "
                                       "not replayed");
                return false;
            }
            if (running != open.end()) {
                error = Describe(r[i], "a command before the return of the one before");
                return false;
            }
            open[t.th] = commands.size();
            commands.push_back({i, kNone, IntOf(r[i].j, "code"), t.th, {}});
            t.commands.push_back(i);
        } else if (kind == "ret") {
            if (running == open.end() || IntOf(r[i].j, "code") != commands[running->second].code) {
                error = Describe(r[i], "a return without its command");
                return false;
            }
            commands[running->second].ret = i;
            open.erase(running);
        } else if (kind == "call") {
            t.calls.push_back(i);
            if (running != open.end()) {
                commands[running->second].calls.push_back(i);
            }
        } else if (kind == "ev") {
            t.events.push_back(i);
        }
    }
    if (rec.ended && !open.empty()) {
        error = Describe(r[commands[open.begin()->second].cmd],
                         "a command without its return in a whole recording");
        return false;
    }
    for (const Thread& t : plan.threads) {
        plan.commands += t.commands.size();
        plan.calls += t.calls.size();
        plan.events += t.events.size();
    }
    for (const Command& c : commands) {
        const Json& in = FieldOf(r[c.cmd].j, "in");
        if (c.code == 5 && in.contains("configDir")) {
            plan.configDir = FieldOf(in, "configDir");
            break;
        }
    }
    std::vector<Key> keys(r.size());
    for (size_t i = 0; i < r.size(); ++i) {
        keys[i] = {static_cast<int64_t>(r[i].n), 0, r[i].n};
    }
    PlaceFrameEvents(rec, plan, commands, keys);
    Order(rec, plan, keys);
    if (!KeepsThreadOrder(plan)) {
        plan.recordedOrder = true;
        for (size_t i = 0; i < r.size(); ++i) {
            keys[i] = {static_cast<int64_t>(r[i].n), 0, r[i].n};
        }
        Order(rec, plan, keys);
    }
    PlanEnvironment(rec, plan);
    return true;
}

} // namespace trv::replay
