#include "replay_answer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace trv::replay {

namespace {

// A number of the recording as the writers read it: integers in decimal, doubles exactly
// (17 digits), infinities and NaN as the strings the recorder wrote for them.
std::string Number(const Json& v) {
    if (v.is_number_integer() || v.is_number_unsigned()) {
        return v.dump();
    }
    if (v.is_number_float()) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", v.get<double>());
        return text;
    }
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        if (s == "inf" || s == "-inf" || s == "nan") {
            return s;
        }
    }
    return "0";
}

const Json& Element(const Json& array, size_t i) {
    static const Json kNull;
    return array.is_array() && i < array.size() ? array[i] : kNull;
}

// A list text: at most 16 bytes, '-' when empty, '?' for what would split the word.
std::string ListText(const std::string& recorded) {
    std::string out;
    for (char c : BytesOf(recorded)) {
        if (out.size() == 16) {
            break;
        }
        out += c > ' ' && c < 127 && c != ',' && c != '=' ? c : '?';
    }
    return out.empty() ? "-" : out;
}

// `names[i]=array[i]` for each name.
std::string Named(const Json& array, std::initializer_list<const char*> names) {
    std::string out;
    size_t i = 0;
    for (const char* name : names) {
        out += std::string(" ") + name + "=" + Number(Element(array, i++));
    }
    return out;
}

std::string Outs(const std::string& fn, const Json& in, const Json& out) {
    const int64_t command = IntOf(in, "nCommand", -1);
    const Json& param = FieldOf(out, "pParam");
    if (fn == "is_CameraCount") {
        return " count=" + Number(FieldOf(out, "pnNumCams"));
    }
    if (fn == "is_CameraList") {
        std::string text = " count=" + Number(FieldOf(out, "nCount"));
        const Json& entries = FieldOf(out, "entries");
        for (size_t k = 0; entries.is_array() && k < entries.size(); ++k) {
            const Json& e = entries[k];
            text += " entry" + std::to_string(k) + "=" + Number(FieldOf(e, "nCameraId")) + "," +
                    Number(FieldOf(e, "nDeviceId")) + "," + Number(FieldOf(e, "nInUse")) + "," +
                    Number(FieldOf(e, "nStatus")) + "," + ListText(TextOf(e, "szSerNo")) + "," +
                    ListText(TextOf(e, "szInfo"));
        }
        return text;
    }
    if (fn == "is_CameraInit") {
        return " hCam=" + Number(FieldOf(out, "phCam"));
    }
    if (fn == "is_InitRetryQuery") {
        return " value=" + Number(FieldOf(out, "pnValue"));
    }
    if (fn == "is_SensorInfo") {
        return out.contains("nColorKind") ? " color=" + Number(FieldOf(out, "nColorKind")) +
                                                " width=" + Number(FieldOf(out, "nMaxWidth")) +
                                                " height=" + Number(FieldOf(out, "nMaxHeight"))
                                          : "";
    }
    if (fn == "is_ImageMemAlloc") {
        return " id=" + Number(FieldOf(out, "pnMemId"));
    }
    if (fn == "is_FrameRate") {
        return " new=" + Number(FieldOf(out, "pdNewFps"));
    }
    if (fn == "is_FrameTimeRange") {
        return " min=" + Number(FieldOf(out, "pdMin")) + " max=" + Number(FieldOf(out, "pdMax")) +
               " inc=" + Number(FieldOf(out, "pdIntervall"));
    }
    if (!param.is_array() && fn != "is_CaptureStatus" && fn != "is_CameraMemory") {
        return "";
    }
    if (fn == "is_AOI") {
        switch (command) {
        case 2:
            return Named(param, {"x", "y", "w", "h"});
        case 6:
        case 8:
        case 16:
        case 18:
            return Named(param, {"w", "h"});
        case 7:
        case 17:
            return Named(param, {"x", "y"});
        case 19:
        case 20:
            return Named(param, {"full"});
        default:
            return "";
        }
    }
    if (fn == "is_Exposure") {
        return command == 6                    ? Named(param, {"min", "max", "inc"})
               : command == 7 || command == 12 ? Named(param, {"ms"})
                                               : "";
    }
    if (fn == "is_IO") {
        return command == 22 || command == 23 ? Named(param, {"limit"}) : "";
    }
    if (fn == "is_CaptureStatus") {
        if (command != 2 || !out.contains("nTotal")) {
            return "";
        }
        std::string text = " total=" + Number(FieldOf(out, "nTotal"));
        const Json& counts = FieldOf(out, "anCount");
        for (size_t k = 0; counts.is_array() && k < counts.size(); ++k) {
            const int64_t code = Element(counts[k], 0).is_number_integer()
                                     ? Element(counts[k], 0).get<int64_t>()
                                     : -1;
            if (code >= 0 && code < 256) {
                text += " c" + std::to_string(code) + "=" + Number(Element(counts[k], 1));
            }
        }
        return text;
    }
    if (fn == "is_CameraMemory") {
        if (command == 6) {
            return Named(param, {"size"});
        }
        const Json& data = FieldOf(out, "data");
        return command == 4 && data.is_string() &&
                       data.get<std::string>().find_first_not_of("0123456789abcdef") ==
                           std::string::npos
                   ? " bytes=" + data.get<std::string>()
                   : "";
    }
    return "";
}

bool AsNumber(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return end != nullptr && *end == 0;
}

std::string Printed(const std::string& value) {
    double d = 0.0;
    if (!AsNumber(value, d) || value.rfind("0x", 0) == 0) {
        return value;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.12g", d);
    return text;
}

} // namespace

std::string AnswerText(const Json& call) {
    const std::string fn = TextOf(call, "fn");
    const int64_t r = IntOf(call, "r", -1);
    const std::string result =
        std::to_string(r < INT32_MIN || r > UINT32_MAX ? -1 : static_cast<int32_t>(r));
    return "result=" + result + Outs(fn, FieldOf(call, "in"), FieldOf(call, "out"));
}

std::vector<std::pair<std::string, std::string>> AnswerWords(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> words;
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        const size_t eq = w.find('=');
        const std::string key = w.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : w.substr(eq + 1);
        bool replaced = false;
        for (auto& [k, v] : words) {
            if (k == key) {
                v = value;
                replaced = true;
            }
        }
        if (!replaced) {
            words.emplace_back(key, value);
        }
    }
    return words;
}

std::string AnswerShown(const std::string& text) {
    std::string out;
    for (const auto& [k, v] : AnswerWords(text)) {
        out += (out.empty() ? "" : " ") + k + "=" + Printed(v);
    }
    return out;
}

std::string AnswerDifference(const std::string& recorded, const std::string& simulated) {
    const auto a = AnswerWords(recorded);
    const auto b = AnswerWords(simulated);
    auto find = [](const auto& words, const std::string& key) -> const std::string* {
        for (const auto& [k, v] : words) {
            if (k == key) {
                return &v;
            }
        }
        return nullptr;
    };
    std::string out;
    auto note = [&](const std::string& key, const std::string* x, const std::string* y) {
        const std::string px = x != nullptr ? Printed(*x) : "(none)";
        const std::string py = y != nullptr ? Printed(*y) : "(none)";
        if (px != py) {
            out += (out.empty() ? "" : "; ") + key + ": " + px + " / " + py;
        }
    };
    for (const auto& [k, v] : a) {
        note(k, &v, find(b, k));
    }
    for (const auto& [k, v] : b) {
        if (find(a, k) == nullptr) {
            note(k, nullptr, &v);
        }
    }
    return out;
}

} // namespace trv::replay
