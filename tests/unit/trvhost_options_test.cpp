#include "host_options.h"

#include <gtest/gtest.h>

namespace {

using trvhost::Options;
using trvhost::ScriptCommand;

TEST(TrvhostOptions, ParsesEveryOption) {
    Options o;
    std::string error;
    ASSERT_TRUE(trvhost::ParseOptions({"--plugin",     "p.dll",    "--config-dir", "c",
                                       "--cam-file",   "f",        "--section",    "s",
                                       "--focus-type", "2",        "--seconds",    "1.5",
                                       "--snapshot",   "x.png",    "--print-log",  "--script",
                                       "lens",         "--report", "r.json",       "--preview"},
                                      o, error))
        << error;
    EXPECT_EQ(o.plugin, "p.dll");
    EXPECT_EQ(o.configDir, "c");
    EXPECT_EQ(o.camFile, "f");
    EXPECT_EQ(o.section, "s");
    EXPECT_EQ(o.focusType, 2);
    EXPECT_DOUBLE_EQ(o.seconds, 1.5);
    EXPECT_EQ(o.snapshot, "x.png");
    EXPECT_TRUE(o.printLog);
    EXPECT_EQ(o.script, "lens");
    EXPECT_EQ(o.report, "r.json");
    EXPECT_TRUE(o.preview);
}

TEST(TrvhostOptions, BadCommandLinesAreRefusedWithAReason) {
    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        {{}, "--plugin PATH is required"},
        {{"--plugin"}, "--plugin needs a value"},
        {{"--plugin", "p", "--focus-type", "x"}, "--focus-type needs an integer, not 'x'"},
        {{"--plugin", "p", "--focus-type", "99999999999"},
         "--focus-type needs an integer, not '99999999999'"},
        {{"--plugin", "p", "--seconds", "-1"}, "--seconds needs a number from 0 to 3600, not '-1'"},
        {{"--plugin", "p", "--seconds", "3s"}, "--seconds needs a number from 0 to 3600, not '3s'"},
        {{"--plugin", "p", "--frobnicate"}, "unknown option '--frobnicate'"},
    };
    for (const Case& c : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(trvhost::ParseOptions(c.args, o, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(TrvhostScript, SplitsCommandsAndWords) {
    std::vector<ScriptCommand> s;
    std::string error;
    ASSERT_TRUE(trvhost::ParseScript(
        " exposure 50; timing;;aoi set 1 2 3 4 ; aoi get; focus start; switch 5; "
        "reset-config other.ini; output 1 75; wait 2",
        s, error))
        << error;
    ASSERT_EQ(s.size(), 9u);
    EXPECT_EQ(s[0].name, "exposure");
    EXPECT_EQ(s[0].args, std::vector<std::string>{"50"});
    EXPECT_EQ(s[2].args, (std::vector<std::string>{"set", "1", "2", "3", "4"}));
    EXPECT_EQ(s[6].args, std::vector<std::string>{"other.ini"});
    EXPECT_EQ(s[8].name, "wait");
}

TEST(TrvhostScript, BadScriptsAreRefusedWithAReason) {
    struct Case {
        const char* script;
        const char* error;
    };
    const Case cases[] = {
        {"jump 3", "unknown script command 'jump'"},
        {"exposure", "exposure: wrong number of arguments"},
        {"exposure fifty", "exposure: 'fifty' is not a number"},
        {"aoi set 1 2 3", "aoi takes get, reset or set X Y W H"},
        {"aoi set 1 2 3 x", "aoi: 'x' is not a number"},
        {"aoi get 5", "aoi get takes no values"},
        {"focus sideways", "focus takes start or stop"},
        {"output 1", "output: wrong number of arguments"},
        {"timing now", "timing: wrong number of arguments"},
    };
    for (const Case& c : cases) {
        std::vector<ScriptCommand> s;
        std::string error;
        EXPECT_FALSE(trvhost::ParseScript(c.script, s, error)) << c.script;
        EXPECT_EQ(error, c.error) << c.script;
    }
}

} // namespace
