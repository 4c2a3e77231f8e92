// Command line and script of the reference host. Pure code.
#pragma once

#include <string>
#include <vector>

namespace trvhost {

struct Options {
    std::string plugin;
    std::string configDir;
    std::string camFile;
    std::string section;
    std::string snapshot;
    std::string report; // JSON of every figure and script result
    int focusType = 3;
    double seconds = 3.0;
    bool printLog = false;
    bool preview = false; // a window showing the live frames
    std::string record;   // the plug-in records the session into this file
    std::string script;
};

struct ScriptCommand {
    std::string name; // exposure, timing, aoi, focus, focus-type, switch, ...
    std::vector<std::string> args;
};

// False with `error` set on a bad command line.
bool ParseOptions(const std::vector<std::string>& args, Options& out, std::string& error);

// Commands separated by ';', words by spaces; checked for known names and argument counts.
bool ParseScript(const std::string& text, std::vector<ScriptCommand>& out, std::string& error);

// Whole-string integer and number parsing.
bool ParseInt(const std::string& text, long long& value);
bool ParseNumber(const std::string& text, double& value);

} // namespace trvhost
