#include "recording_reader.h"

#include <map>

namespace trv::replay {

namespace {

// Longer lines are not a recording's: the longest record (a camera list of 4096 entries) has
// well under a megabyte.
constexpr size_t kMostLineBytes = 4u << 20;
// Records nest objects and arrays three deep; a little more is allowed, not more.
constexpr int kMostDepth = 8;

bool TooDeep(std::string_view line) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > kMostDepth) {
                return true;
            }
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return false;
}

bool IsUnsigned(const Json& v) {
    return v.is_number_unsigned() || (v.is_number_integer() && v.get<int64_t>() >= 0);
}

std::string At(size_t line) {
    return "line " + std::to_string(line) + ": ";
}

ReadError Error(Fault fault, size_t line, const std::string& text) {
    return {fault, At(line) + text};
}

} // namespace

int64_t IntOf(const Json& j, const char* key, int64_t fallback) {
    if (!j.is_object()) {
        return fallback;
    }
    auto it = j.find(key);
    if (it == j.end()) {
        return fallback;
    }
    if (it->is_number_unsigned()) {
        const uint64_t u = it->get<uint64_t>();
        return u > static_cast<uint64_t>(INT64_MAX) ? fallback : static_cast<int64_t>(u);
    }
    return it->is_number_integer() ? it->get<int64_t>() : fallback;
}

double DoubleOf(const Json& j, const char* key, double fallback) {
    const Json& v = FieldOf(j, key);
    return v.is_number() ? v.get<double>() : fallback;
}

std::string TextOf(const Json& j, const char* key) {
    const Json& v = FieldOf(j, key);
    return v.is_string() ? v.get<std::string>() : std::string();
}

bool BoolOf(const Json& j, const char* key) {
    const Json& v = FieldOf(j, key);
    return v.is_boolean() && v.get<bool>();
}

const Json& FieldOf(const Json& j, const char* key) {
    static const Json kNull;
    if (!j.is_object()) {
        return kNull;
    }
    auto it = j.find(key);
    return it == j.end() ? kNull : *it;
}

std::u16string Utf16Of(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        uint32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i) {
            cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + ((cp >> 10) & 0x3FF));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string BytesOf(const std::string& s) {
    std::string out;
    for (char16_t u : Utf16Of(s)) {
        out += static_cast<char>(u & 0xFF);
    }
    return out;
}

bool ParseRecord(std::string_view line, Record& out, std::string& why) {
    if (line.size() > kMostLineBytes) {
        why = "a line of " + std::to_string(line.size()) + " bytes";
        return false;
    }
    if (TooDeep(line)) {
        why = "nested deeper than a record";
        return false;
    }
    Json j = Json::parse(line, nullptr, false);
    if (j.is_discarded()) {
        why = "not JSON";
        return false;
    }
    if (!j.is_object() || !FieldOf(j, "k").is_string()) {
        why = "not a record (no kind \"k\")";
        return false;
    }
    for (const char* key : {"n", "th", "ts"}) {
        if (!IsUnsigned(FieldOf(j, key))) {
            why = std::string("no number \"") + key + "\"";
            return false;
        }
    }
    const int64_t th = IntOf(j, "th", -1);
    if (th < 0 || th > INT32_MAX) {
        why = "a thread number out of range";
        return false;
    }
    out.kind = j["k"].get<std::string>();
    out.n = static_cast<uint64_t>(IntOf(j, "n"));
    out.th = static_cast<int32_t>(th);
    out.ts = static_cast<uint64_t>(IntOf(j, "ts"));
    out.t = IntOf(j, "t");
    out.j = std::move(j);
    return true;
}

ReadError ReadRecording(std::string_view text, bool partial, Recording& out) {
    out = Recording();
    if (text.empty()) {
        return {Fault::NotRecording, "the file is empty: not a recording"};
    }
    std::map<int32_t, uint64_t> lastTs; // per thread
    size_t at = 0;
    for (size_t line = 1; at < text.size(); ++line) {
        size_t end = text.find('\n', at);
        const bool cut = end == std::string_view::npos;
        if (cut) {
            end = text.size();
        }
        const std::string_view body = text.substr(at, end - at);
        at = end + 1;
        if (line == 1) {
            Json h = Json::parse(body, nullptr, false);
            if (h.is_discarded() || !h.is_object() || TextOf(h, "k") != "header") {
                return {Fault::NotRecording, "line 1 is not a recording's header: not a recording"};
            }
            const Json& format = FieldOf(h, "format");
            if (!format.is_number_integer()) {
                return Error(Fault::NotRecording, 1, "the header has no format version");
            }
            if (format.get<int64_t>() != kReadableFormat) {
                return Error(Fault::Version, 1,
                             "format " + format.dump() + ", this replay reads format " +
                                 std::to_string(kReadableFormat));
            }
            if (cut && !partial) {
                return Error(Fault::Truncated, 1, "the file ends inside its header");
            }
            out.header = std::move(h);
            continue;
        }
        if (out.ended) {
            return Error(Fault::Malformed, line, "a record after the end record");
        }
        Record r;
        std::string why;
        if (!ParseRecord(body, r, why)) {
            if (cut) {
                if (partial) {
                    break;
                }
                return Error(Fault::Truncated, line,
                             "the last line is cut (" + why + "): the session was cut short");
            }
            return Error(Fault::Malformed, line, why);
        }
        r.line = line;
        if (r.n != line - 1) {
            return Error(Fault::Reordered, line,
                         "record number " + std::to_string(r.n) + " where " +
                             std::to_string(line - 1) + " belongs");
        }
        if (r.kind == "end") {
            if (r.th != 0 || r.ts != 0) {
                return Error(Fault::Malformed, line, "an end record of a thread");
            }
            out.ended = true;
        } else {
            if (r.th == 0) {
                return Error(Fault::Malformed, line, "a record without a thread");
            }
            const uint64_t expected = lastTs[r.th] + 1;
            if (r.ts != expected) {
                return Error(Fault::Reordered, line,
                             "thread " + std::to_string(r.th) + "'s record " +
                                 std::to_string(r.ts) + " where " + std::to_string(expected) +
                                 " belongs");
            }
            if ((r.ts == 1) != (r.kind == "thread")) {
                return Error(Fault::Malformed, line,
                             "thread " + std::to_string(r.th) +
                                 (r.ts == 1 ? " begins without its thread record"
                                            : " has a second thread record"));
            }
            lastTs[r.th] = r.ts;
        }
        out.records.push_back(std::move(r));
        if (cut && !partial) {
            return Error(Fault::Truncated, line, "the last line has no line feed");
        }
    }
    if (!out.ended && !partial) {
        return {Fault::Truncated, "line " + std::to_string(out.records.size() + 2) +
                                      ": no end record: the session was cut short (--partial "
                                      "replays it up to its last whole record)"};
    }
    return {};
}

} // namespace trv::replay
