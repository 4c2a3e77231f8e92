#include "replay_compare.h"

#include <cstring>

namespace trv::replay {

namespace {

constexpr const char* kKnownKinds[] = {"cmd",  "ret", "call",    "ev",   "frame",
                                       "drop", "log", "setting", "probe"};

// Log lines whose numbers are times: the line's beginning (empty: any line) and the key after
// which digits are masked; a key ending in "=" of a date masks the rest of the line.
struct TimeKey {
    const char* line;
    const char* key;
};
constexpr TimeKey kTimeKeys[] = {
    {"***** UEYECAM Init4 ", "time="},
    {"MySetStreamId success", " t="},
    {"MySetStreamId fail", " t="},
    {"", "dtRead="},
    {"", "dtWrite="},
};
constexpr const char* kDateLine = "**** TrvCmd: _TRV_DSHOW_CMD_START date=";
constexpr const char* kSlowFrameLine = "***** UEYECAM IS_UEYE_MESSAGE m_nBitsPerPixel=";
constexpr const char* kRecorderLine = "TrvRecord: ";

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool IsAddress(const std::string& s) {
    return s.size() > 2 && s[0] == '0' && s[1] == 'x' &&
           s.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
}

void Replace(std::string& s, const std::string& from, const std::string& to) {
    if (from.empty() || from == to) {
        return;
    }
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) {
        s.replace(p, from.size(), to);
    }
}

// Addresses as "addr", the replay's folder as the recording's, in every string of `v`.
void Normalize(Json& v, const Mapping* m) {
    if (v.is_string()) {
        std::string s = v.get<std::string>();
        if (IsAddress(s)) {
            v = "addr";
            return;
        }
        if (m != nullptr) {
            Replace(s, m->replayDir, m->recordedDir);
            v = s;
        }
    } else if (v.is_structured()) {
        for (auto& item : v) {
            Normalize(item, m);
        }
    }
}

} // namespace

std::string MaskTimes(const std::string& line) {
    if (StartsWith(line, kDateLine)) {
        return std::string(kDateLine) + "#";
    }
    std::string out = line;
    for (const TimeKey& k : kTimeKeys) {
        if (!StartsWith(out, k.line)) {
            continue;
        }
        for (size_t p = out.find(k.key); p != std::string::npos; p = out.find(k.key, p + 1)) {
            const size_t from = p + std::strlen(k.key);
            const size_t to = out.find_first_not_of("0123456789", from);
            out = out.substr(0, from) + "#" + (to == std::string::npos ? "" : out.substr(to));
        }
    }
    return out;
}

bool Compared(const Record& r) {
    bool known = false;
    for (const char* k : kKnownKinds) {
        known = known || r.kind == k;
    }
    if (!known) {
        return false;
    }
    if (r.kind == "log") {
        const std::string text = TextOf(r.j, "text");
        return !StartsWith(text, kRecorderLine) && !StartsWith(text, kSlowFrameLine);
    }
    return true;
}

std::string Comparable(const Record& r, const Mapping* m) {
    Json j = r.j;
    if (!j.is_object()) {
        return r.kind;
    }
    for (const char* key : {"n", "t", "th", "ts", "us", "taken"}) {
        j.erase(key);
    }
    if (r.kind == "frame" && j.contains("thumb")) {
        j["thumb"] = true;
    }
    Normalize(j, m);
    if (r.kind == "log" && j["text"].is_string()) {
        j["text"] = MaskTimes(j["text"].get<std::string>());
    }
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace trv::replay
