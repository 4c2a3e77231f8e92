// Cues: what a test tells the library to do differently at chosen calls (sim_control.h).
#include "sim_state.h"
#include "ueye/ueye_api.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace sim {

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

bool Number(const std::string& text, int64_t low, int64_t high, int64_t& out) {
    return ParseInt(text, out) && out >= low && out <= high;
}

// "@camN" at `text`: the simulator index N.
bool CameraOf(const std::string& text, int& camera) {
    int64_t n = 0;
    if (text.rfind("@cam", 0) != 0 || !Number(text.substr(4), 0, 255, n)) {
        return false;
    }
    camera = static_cast<int>(n);
    return true;
}

// "call[:command][@camN][#n[+|-m]]"
bool ParseHead(const std::string& head, Cue& c) {
    const size_t at = head.find('@');
    const size_t hash = head.find('#');
    const size_t colon = head.find(':');
    const size_t nameEnd = std::min({colon, at, hash});
    c.call = head.substr(0, nameEnd);
    int32_t unused = 0;
    if (WriteOuts(c.call, Outs{}, "", unused) != 0) {
        return false; // no such call
    }
    if (colon != std::string::npos && colon < std::min(at, hash) &&
        !Number(head.substr(colon + 1, std::min(at, hash) - colon - 1), 0, UINT32_MAX, c.command)) {
        return false;
    }
    if (at != std::string::npos && (at > hash || !CameraOf(head.substr(at, hash - at), c.camera))) {
        return false;
    }
    if (hash == std::string::npos) {
        return true;
    }
    std::string n = head.substr(hash + 1);
    int64_t first = 0, last = 0;
    if (!n.empty() && n.back() == '+') {
        n.pop_back();
        c.count = -1;
    }
    const size_t dash = n.find('-');
    if (!Number(n.substr(0, dash), 1, UINT32_MAX, first)) {
        return false;
    }
    c.first = static_cast<uint32_t>(first);
    if (dash != std::string::npos) {
        if (c.count < 0 || !Number(n.substr(dash + 1), first, UINT32_MAX, last)) {
            return false;
        }
        c.count = last - first + 1;
    }
    return true;
}

// A cue's head and actions; false, with a note of why in `c.text`, when it does not parse.
bool ParseCue(const std::string& text, Cue& c) {
    const std::vector<std::string> w = Words(text);
    c.text = text;
    if (w.size() < 2 || !ParseHead(w[0], c)) {
        return false;
    }
    for (size_t i = 1; i < w.size(); ++i) {
        int64_t v = 0;
        if (w[i][0] == '=') {
            const std::string code = w[i].size() > 1    ? w[i].substr(1)
                                     : i + 1 < w.size() ? w[++i]
                                                        : "";
            if (!Number(code, INT32_MIN, UINT32_MAX, v)) {
                return false;
            }
            c.fails = true;
            c.result = static_cast<int32_t>(v);
        } else if (w[i] == "out") {
            for (;
                 i + 1 < w.size() && w[i + 1].find('=') != std::string::npos && w[i + 1][0] != '=';
                 ++i) {
                c.outs += (c.outs.empty() ? "" : " ") + w[i + 1];
            }
            int32_t unused = 0;
            Outs dry;
            dry.command = c.command;
            if (c.outs.empty() || WriteOuts(c.call, dry, c.outs, unused) != 0) {
                return false;
            }
        } else if (w[i] == "event" && i + 1 < w.size()) {
            const std::string e = w[++i];
            const size_t at = e.find('@');
            int camera = -1;
            if (!Number(e.substr(0, at), 0, INT32_MAX, v) ||
                (at != std::string::npos && !CameraOf(e.substr(at), camera))) {
                return false;
            }
            c.events.emplace_back(static_cast<int32_t>(v), camera);
        } else {
            return false;
        }
    }
    return true;
}

// Cues of `text`, separated by ';', all of them or none.
bool ParseCues(const char* text, std::vector<Cue>& out) {
    if (text == nullptr) {
        return false;
    }
    std::istringstream in(text);
    for (std::string one; std::getline(in, one, ';');) {
        if (Words(one).empty()) {
            continue;
        }
        Cue c;
        if (!ParseCue(one, c)) {
            return false;
        }
        out.push_back(c);
    }
    return !out.empty();
}

} // namespace

Fired TakeCues(State& s, const char* call, int64_t command, const Camera* camera) {
    Fired f;
    const int index = camera != nullptr ? static_cast<int>(camera - s.cameras.data()) : -1;
    for (Cue& c : s.cues) {
        if (c.call != call || (c.command >= 0 && c.command != command) ||
            (c.camera >= 0 && c.camera != index)) {
            continue;
        }
        ++c.seen;
        if (c.seen < c.first || (c.count >= 0 && c.seen >= c.first + c.count)) {
            continue;
        }
        ++c.fired;
        if (c.fails && !f.fails) {
            f.fails = true;
            f.result = c.result;
        }
        if (!c.outs.empty()) {
            f.outs.push_back(c.outs);
        }
        f.events.insert(f.events.end(), c.events.begin(), c.events.end());
        if (c.callback != nullptr) {
            f.callbacks.emplace_back(c.callback, c.arg);
        }
    }
    return f;
}

void RunCallbacks(const Fired& fired, std::unique_lock<std::mutex>& g) {
    if (fired.callbacks.empty()) {
        return;
    }
    g.unlock();
    for (const auto& [callback, arg] : fired.callbacks) {
        callback(arg);
    }
    g.lock();
}

void ApplyOuts(const char* call, const Fired& fired, const Outs& outs, int32_t& result,
               std::string& journalOuts) {
    for (const std::string& text : fired.outs) {
        if (WriteOuts(call, outs, text, result) == 0) {
            journalOuts = MergeOuts(journalOuts, text);
        } else {
            if (!journalOuts.empty()) {
                journalOuts += ' ';
            }
            journalOuts += "refused:";
            journalOuts += text;
        }
    }
}

void PostCueEvents(State& s, const Fired& fired, const Camera* camera) {
    for (const auto& [code, index] : fired.events) {
        const Camera* c = index < 0                                       ? camera
                          : static_cast<size_t>(index) < s.cameras.size() ? &s.cameras[index]
                                                                          : nullptr;
        if (c == nullptr || c->handle == 0) {
            continue;
        }
        auto it = c->eventWindows.find(code);
        if (it != c->eventWindows.end() && it->second != nullptr) {
            PostMessageW(it->second, IS_UEYE_MESSAGE, static_cast<WPARAM>(code), c->handle);
        }
    }
}

} // namespace sim

SIM_API int sim_cue(const char* text) {
    std::vector<sim::Cue> cues;
    if (!sim::ParseCues(text, cues)) {
        return -1;
    }
    sim::State& s = sim::Get();
    std::lock_guard<std::mutex> g(s.lock);
    s.cues.insert(s.cues.end(), cues.begin(), cues.end());
    return 0;
}

SIM_API int sim_cue_callback(const char* head, SimCueCallback callback, void* arg) {
    sim::Cue c;
    if (head == nullptr || callback == nullptr || !sim::ParseHead(head, c)) {
        return -1;
    }
    c.text = head;
    c.callback = callback;
    c.arg = arg;
    sim::State& s = sim::Get();
    std::lock_guard<std::mutex> g(s.lock);
    s.cues.push_back(c);
    return 0;
}

SIM_API int sim_cue_unfired(char* buffer, int capacity) {
    sim::State& s = sim::Get();
    std::lock_guard<std::mutex> g(s.lock);
    int n = 0;
    for (const sim::Cue& c : s.cues) {
        if (c.fired == 0 && n++ == 0 && buffer != nullptr && capacity > 0) {
            const size_t len = std::min(c.text.size(), static_cast<size_t>(capacity - 1));
            std::memcpy(buffer, c.text.data(), len);
            buffer[len] = 0;
        }
    }
    return n;
}

SIM_API void sim_fail_camera(int index, const char* call, int32_t result, int count) {
    if (call == nullptr || count <= 0) {
        return;
    }
    std::string head = call;
    if (index >= 0) {
        head += "@cam" + std::to_string(index);
    }
    head += "#1-" + std::to_string(count);
    sim_cue((head + " = " + std::to_string(result)).c_str());
}

SIM_API void sim_fail(const char* call, int32_t result, int count) {
    sim_fail_camera(-1, call, result, count);
}
