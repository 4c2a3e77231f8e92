// Reading a session recording back (FORMAT.md): every line is checked before a replay trusts
// it, and the records are kept as parsed JSON. Pure code: nothing here touches the system.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trv::replay {

using Json = nlohmann::json;

// The format versions this reader knows.
constexpr int64_t kReadableFormat = 1;

struct Record {
    std::string kind;
    uint64_t n = 0;
    int32_t th = 0;
    uint64_t ts = 0;
    int64_t t = 0;
    size_t line = 0; // from 1
    Json j;          // the whole record
};

struct Recording {
    Json header;
    std::vector<Record> records; // after the header, "end" last when the file has one
    bool ended = false;
};

enum class Fault { None, NotRecording, Version, Truncated, Reordered, Malformed };

struct ReadError {
    Fault fault = Fault::None;
    std::string text; // "line 7: ...", for a person
};

// Checks and reads a whole file. `partial`: a file cut short (no "end" record, a cut last line)
// is read up to its last whole record instead of being refused.
ReadError ReadRecording(std::string_view text, bool partial, Recording& out);

// One line, without its line feed, as a record: a JSON object with "k", "n", "th" and "ts".
// False, with why in `why`, for anything else.
bool ParseRecord(std::string_view line, Record& out, std::string& why);

// Fields read without trusting their types: the fallback when absent or of another type.
int64_t IntOf(const Json& j, const char* key, int64_t fallback = 0);
double DoubleOf(const Json& j, const char* key, double fallback = 0.0);
std::string TextOf(const Json& j, const char* key);
bool BoolOf(const Json& j, const char* key);
const Json& FieldOf(const Json& j, const char* key); // null when absent

// A JSON string of the recording as UTF-16 units (the recorder writes them one by one), and
// narrow text (code points 0 to 255) as bytes.
std::u16string Utf16Of(const std::string& utf8);
std::string BytesOf(const std::string& utf8);

} // namespace trv::replay
