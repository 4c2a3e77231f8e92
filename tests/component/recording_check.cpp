#include "recording_check.h"

#include "file_text.h"
#include "replay/recording_reader.h"
#include "replay/replay_answer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

namespace trvtest {

namespace {

using trv::replay::Json;

// A number as the journal prints it (12 significant digits; "0x" read as hex), other text as is.
std::string Shown(const std::string& text) {
    char* end = nullptr;
    const double d = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != 0) {
        return text;
    }
    char out[40];
    std::snprintf(out, sizeof out, "%.12g", d);
    return out;
}

// Elements `first` to `first + count` of a recorded buffer joined by ',', or the value itself.
std::string Recorded(const Json& v, size_t first, size_t count) {
    if (!v.is_array()) {
        return v.is_string() ? v.get<std::string>() : v.dump();
    }
    std::string out;
    for (size_t i = first; i < v.size() && i - first < count; ++i) {
        out += (i == first ? "" : ",") + Shown(v[i].dump());
    }
    return out;
}

// "" when `call` is the call of journal line `line`: its name, each argument the journal shows,
// its result and each out-value the journal shows; else what differs.
std::string CallDifference(const std::string& line, const Json& call) {
    using namespace trv::replay;
    const size_t arrow = line.find(" -> ");
    const std::string head = line.substr(0, arrow);
    const size_t path = head.find(" path="); // a file name may hold spaces: the last word
    std::istringstream args(head.substr(0, path));
    std::string fn, diff;
    args >> fn;
    if (fn != TextOf(call, "fn")) {
        return " recorded " + TextOf(call, "fn");
    }
    auto compare = [&diff](const std::string& key, const std::string& seen,
                           const std::string& rec) {
        if (Shown(seen) != Shown(rec)) {
            diff += " " + key + ": " + seen + " / recorded " + rec;
        }
    };
    const Json& in = FieldOf(call, "in");
    if (path != std::string::npos) {
        compare("path", head.substr(path + 6), TextOf(in, "pParam"));
    }
    // The record's name of each argument the journal shows, and which of a buffer's elements.
    static const std::map<std::string, std::pair<const char*, size_t>> kArgs = {
        {"hCam", {"hCam", 0}},    {"cmd", {"nCommand", 0}}, {"size", {"nSize", 0}},
        {"wait", {"nWait", 0}},   {"mode", {"nMode", 0}},   {"event", {"nEvent", 0}},
        {"w", {"nWidth", 0}},     {"h", {"nHeight", 0}},    {"bits", {"nBits", 0}},
        {"fps", {"dFps", 0}},     {"id", {"nMemId", 0}},    {"offset", {"nOffset", 0}},
        {"count", {"nCount", 0}}, {"in", {"pParam", 0}},    {"value", {"pParam", 0}},
        {"base", {"pParam", 0}},  {"level", {"pParam", 1}}};
    for (std::string w; args >> w;) {
        const std::string key = w.substr(0, w.find('=')), value = w.substr(w.find('=') + 1);
        const auto a = kArgs.find(key);
        if (key == "hWnd" &&
            (value == "null" || value.find_first_not_of('0') == std::string::npos) !=
                FieldOf(in, "hWnd").is_null()) {
            diff += " hWnd: " + value + " / recorded " + FieldOf(in, "hWnd").dump();
        } else if (a != kArgs.end()) { // not compared: the output words and the bytes sent
            const char* field = key == "id" && fn == "is_CameraInit" ? "phCam" : a->second.first;
            compare(key, value,
                    Recorded(FieldOf(in, field), a->second.second, key == "in" ? 64 : 1));
        }
    }
    const auto outs = AnswerWords(AnswerText(call));
    std::istringstream answer("result=" + line.substr(arrow + 4));
    std::string listed; // the count a list gave back
    for (std::string w; answer >> w;) {
        const std::string key = w.substr(0, w.find('=')), value = w.substr(w.find('=') + 1);
        listed = key == "count" && fn == "is_CameraList" ? value : listed;
        std::string rec = "(none)";
        for (const auto& [k, v] : outs) {
            rec = k == key ? v : rec;
        }
        // A list's entries past the count it gives are not read; a cue writes a read's first bytes.
        if (!(key.rfind("entry", 0) == 0 &&
              std::stoll(key.substr(5)) >= IntOf(FieldOf(call, "out"), "nCount"))) {
            compare(key, value, key == "bytes" ? rec.substr(0, value.size()) : rec);
        }
    }
    if (!listed.empty()) { // as many entries as both counts allow
        const int64_t n = std::min<int64_t>(std::stoll(listed), IntOf(in, "nCount"));
        compare("entries", std::to_string(n),
                std::to_string(FieldOf(FieldOf(call, "out"), "entries").size()));
    }
    return diff;
}

} // namespace

std::string CheckRecording(const std::wstring& file, const std::vector<std::string>& journal,
                           const std::vector<std::string>& viewer,
                           std::vector<std::string>* callLines) {
    const std::string text = trvtest::ReadFileText(file);
    trv::replay::Recording rec;
    const trv::replay::ReadError e = trv::replay::ReadRecording(text, false, rec);
    if (e.fault != trv::replay::Fault::None) {
        return "not a whole recording: " + e.text;
    }
    std::istringstream lines(text);
    std::vector<std::string> line(1); // from 1
    for (std::string l; std::getline(lines, l);) {
        line.push_back(l);
    }
    std::vector<const Json*> calls;
    std::vector<std::string> logs;
    for (const trv::replay::Record& r : rec.records) {
        if (r.kind == "call") {
            calls.push_back(&r.j);
            if (callLines != nullptr) {
                callLines->push_back(line[r.line]);
            }
        } else if (r.kind == "log") {
            logs.push_back(trv::replay::TextOf(r.j, "text"));
        }
    }
    for (size_t i = 0; i < journal.size() || i < calls.size(); ++i) {
        const std::string diff = i >= journal.size() ? " not in the journal"
                                 : i >= calls.size() ? " not recorded"
                                                     : CallDifference(journal[i], *calls[i]);
        if (!diff.empty()) {
            return "call " + std::to_string(i + 1) + " (" +
                   (i < journal.size() ? journal[i] : calls[i]->dump()) + "):" + diff;
        }
    }
    // In order among the recorded lines: the shared log drops lines while it is full, the
    // recording does not.
    size_t at = 0;
    for (const std::string& line : viewer) {
        if (line.rfind("TrvRecord", 0) == 0) {
            return "the recorder logged \"" + line + "\"";
        }
        while (at < logs.size() && logs[at] != line) {
            ++at;
        }
        if (at == logs.size()) {
            return "no log record \"" + line + "\" in order";
        }
        ++at;
    }
    return "";
}

} // namespace trvtest
