#include "host_options.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace trvhost {

bool ParseInt(const std::string& text, long long& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == 0;
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end != nullptr && *end == 0;
}

bool ParseOptions(const std::vector<std::string>& args, Options& out, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& dst) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            dst = args[++i];
            return true;
        };
        std::string text;
        if (a == "--plugin") {
            if (!value(out.plugin))
                return false;
        } else if (a == "--config-dir") {
            if (!value(out.configDir))
                return false;
        } else if (a == "--cam-file") {
            if (!value(out.camFile))
                return false;
        } else if (a == "--section") {
            if (!value(out.section))
                return false;
        } else if (a == "--snapshot") {
            if (!value(out.snapshot))
                return false;
        } else if (a == "--report") {
            if (!value(out.report))
                return false;
        } else if (a == "--record") {
            if (!value(out.record))
                return false;
        } else if (a == "--script") {
            if (!value(out.script))
                return false;
        } else if (a == "--focus-type") {
            long long v = 0;
            if (!value(text))
                return false;
            if (!ParseInt(text, v) || v < -2147483648LL || v > 2147483647LL) {
                error = "--focus-type needs an integer, not '" + text + "'";
                return false;
            }
            out.focusType = static_cast<int>(v);
        } else if (a == "--seconds") {
            if (!value(text))
                return false;
            if (!ParseNumber(text, out.seconds) || out.seconds < 0 || out.seconds > 3600) {
                error = "--seconds needs a number from 0 to 3600, not '" + text + "'";
                return false;
            }
        } else if (a == "--print-log") {
            out.printLog = true;
        } else if (a == "--preview") {
            out.preview = true;
        } else {
            error = "unknown option '" + a + "'";
            return false;
        }
    }
    if (out.plugin.empty()) {
        error = "--plugin PATH is required";
        return false;
    }
    return true;
}

namespace {

struct Known {
    const char* name;
    size_t minArgs;
    size_t maxArgs;
};

constexpr Known kCommands[] = {
    {"exposure", 1, 1},   {"timing", 0, 0}, {"aoi", 1, 5},          {"focus", 1, 1},
    {"focus-type", 1, 1}, {"switch", 1, 1}, {"reset-config", 1, 1}, {"lens", 0, 0},
    {"output", 2, 2},     {"wait", 1, 1},
};

bool CheckArgs(const ScriptCommand& c, std::string& error) {
    auto number = [&](size_t i) {
        double v = 0;
        if (!ParseNumber(c.args[i], v)) {
            error = c.name + ": '" + c.args[i] + "' is not a number";
            return false;
        }
        return true;
    };
    if (c.name == "aoi") {
        const std::string& mode = c.args[0];
        if (mode == "get" || mode == "reset") {
            if (c.args.size() != 1) {
                error = "aoi " + mode + " takes no values";
                return false;
            }
            return true;
        }
        if (mode != "set" || c.args.size() != 5) {
            error = "aoi takes get, reset or set X Y W H";
            return false;
        }
        for (size_t i = 1; i < 5; ++i) {
            if (!number(i))
                return false;
        }
        return true;
    }
    if (c.name == "focus") {
        if (c.args[0] != "start" && c.args[0] != "stop") {
            error = "focus takes start or stop";
            return false;
        }
        return true;
    }
    if (c.name == "reset-config") {
        return true;
    }
    for (size_t i = 0; i < c.args.size(); ++i) {
        if (!number(i))
            return false;
    }
    return true;
}

} // namespace

bool ParseScript(const std::string& text, std::vector<ScriptCommand>& out, std::string& error) {
    std::stringstream commands(text);
    std::string part;
    while (std::getline(commands, part, ';')) {
        std::stringstream words(part);
        ScriptCommand c;
        if (!(words >> c.name)) {
            continue; // empty command
        }
        std::string w;
        while (words >> w) {
            c.args.push_back(w);
        }
        const Known* known = nullptr;
        for (const Known& k : kCommands) {
            if (c.name == k.name) {
                known = &k;
            }
        }
        if (known == nullptr) {
            error = "unknown script command '" + c.name + "'";
            return false;
        }
        if (c.args.size() < known->minArgs || c.args.size() > known->maxArgs) {
            error = c.name + ": wrong number of arguments";
            return false;
        }
        if (!CheckArgs(c, error)) {
            return false;
        }
        out.push_back(c);
    }
    return true;
}

} // namespace trvhost
