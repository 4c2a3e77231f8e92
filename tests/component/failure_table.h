// Tables of what goes wrong and what the host and the log must then see. Each row runs the
// plug-in's code from a clean start against the simulated library: its cameras, settings, files
// and cues, then the host's steps. The camera window is a window of the test's thread, so the
// camera events a step caused are handled right after it, in the order they were posted.
#pragma once

#include "acquisition/cam_thread.h"
#include "acquisition/camera_loading.h"
#include "acquisition/frame_handoff.h"
#include "camera/camera_list.h"
#include "camera/parameter_files.h"
#include "entry/dispatcher.h"
#include "entry/handlers.h"
#include "host_settings.h"
#include "infra/globals.h"
#include "infra/settings.h"
#include "log_collector.h"
#include "sim_control.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace trvtest {

// A row; ';' separates the entries of `given`, `cues` and `host`, "\n" those of `log` and `calls`.
struct Row {
    const char* name;
    // What is there. "cameras=A B": the serials of the simulated cameras, device ids 1, 2, ...
    // (default: "A"; each 64 x 48, colour, live without posting frames until "simN:stalled=0").
    // "simN:KEY=VALUE": a key of camera N. "focus=N": the start block's focus type.
    // "trigger=N": in tarvello.ini. "file:NAME=LINE": a parameter file holding LINE ("!" a
    // file that is not one, "/" a folder of that name). Else "KEY=VALUE" of the host settings.
    const char* given;
    const char* cues; // sim_cue texts; each must act at least once
    // The host's steps with their answers: "load" (the camera thread's loading), "CODE [ARG]"
    // -> answer (42 takes a file name), "45 MODE [X Y W H]" -> answer and the block,
    // "46" -> answer, rate and exposure, "44" -> answer and x resolution (7 before),
    // "43 TYPE PERCENT", "34 TYPE" -> answer and type, "event CODE" (of camera 0),
    // "frames" -> the size of 3 more, "key KEY" -> its value in the host settings,
    // "sim N KEY VALUE". Each error callback meanwhile adds " +error".
    const char* host;
    // Log lines in this order, others between them; '*' stands for any text; "!LINE": no such
    // line between its neighbours; "$DIR\": the configuration folder.
    const char* log;
    // Journal lines starting so, in this order; "!START": none between the neighbours.
    const char* calls;
};

// The parts of `text` between `sep`, without the spaces around them; empty ones left out.
inline std::vector<std::string> SplitOn(const std::string& text, char sep, bool trim = true) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, sep);) {
        const size_t a = trim ? part.find_first_not_of(' ') : 0;
        if (a != std::string::npos && !part.empty()) {
            out.push_back(trim ? part.substr(a, part.find_last_not_of(' ') + 1 - a) : part);
        }
    }
    return out;
}

// Whether `t` matches `p`, in which '*' stands for any text.
inline bool Glob(const char* p, const char* t) {
    if (*p == '*') {
        return Glob(p + 1, t) || (*t != 0 && Glob(p, t + 1));
    }
    return *p == *t && (*p == 0 || Glob(p + 1, t + 1));
}

// The entries of `expected` in order among `lines` (each with a '*' after it when `prefix`);
// "" or what does not hold.
inline std::string InOrder(const std::vector<std::string>& lines, const std::string& expected,
                           bool prefix) {
    size_t at = 0;
    std::vector<std::string> absent;
    auto check = [&](size_t end) {
        for (const std::string& a : absent) {
            for (size_t i = at; i < end; ++i) {
                if (Glob(a.c_str(), lines[i].c_str())) {
                    return "\"" + lines[i] + "\" where none may be";
                }
            }
        }
        absent.clear();
        return std::string();
    };
    for (std::string e : SplitOn(expected, '\n')) {
        const bool no = e[0] == '!';
        e = (no ? e.substr(1) : e) + (prefix ? "*" : "");
        if (no) {
            absent.push_back(e);
            continue;
        }
        size_t i = at;
        while (i < lines.size() && !Glob(e.c_str(), lines[i].c_str())) {
            ++i;
        }
        if (i == lines.size()) {
            return "no \"" + e + "\" in order";
        }
        if (std::string bad = check(i); !bad.empty()) {
            return bad;
        }
        at = i + 1;
    }
    return check(lines.size());
}

inline std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) {
        s.replace(p, from.size(), to);
    }
    return s;
}

class FailureTable : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = CamWndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TestCamWindow";
        RegisterClassExW(&wc);
        gCamWnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    }
    static void OnFrame(unsigned char*, int32_t w, int32_t h, int32_t, intptr_t, int32_t) {
        sFrameSize = std::to_string(w) + "x" + std::to_string(h);
        ++sFrames;
    }
    static void OnError() { ++sErrors; }

    // Every row closes its cameras, and they give back all of their image memory.
    void Finish() {
        CloseAllCameras();
        SimStats s = {};
        sim_stats(&s);
        EXPECT_EQ(s.liveBlocks + s.badFrees + s.freedByExit, 0) << "image memory not balanced";
        for (MyCam& c : gMyCams) {
            delete[] c.m_pcFrameBufferA;
            delete[] c.m_pcFrameBufferB;
            std::free(c.m_pszSerNo);
        }
        gMyCams.clear();
        gCamList.clear();
        sim_reset();
        for (const std::wstring& f : folders) {
            RemoveDirectoryW(f.c_str());
        }
        folders.clear();
        settings.reset();
    }

    static void Pump() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }

    void Given(const std::string& entry) {
        const size_t eq = entry.find('=');
        const std::string key = entry.substr(0, eq), value = entry.substr(eq + 1);
        const std::wstring wkey(key.begin(), key.end()), wvalue(value.begin(), value.end());
        if (key.rfind("sim", 0) == 0) {
            const size_t colon = key.find(':');
            ASSERT_EQ(sim_configure(std::stoi(key.substr(3)), key.substr(colon + 1).c_str(),
                                    value.c_str()),
                      0)
                << entry;
        } else if (key == "focus") {
            gFocusType = std::stoi(value);
        } else if (key == "trigger") {
            settings->Trigger(wvalue.c_str());
        } else if (key.rfind("file:", 0) == 0) {
            const std::wstring name = wkey.substr(5);
            if (value == "/") {
                CreateDirectoryW((settings->configDir + name).c_str(), nullptr);
                folders.push_back(settings->configDir + name);
            } else {
                settings->WriteConfigFile(name, value == "!"
                                                    ? "not a parameter file\n"
                                                    : "[sim-camera-parameters]\n" + value + "\n");
            }
        } else if (key != "cameras") {
            settings->Set(wkey.c_str(), wvalue.c_str());
        }
    }

    // Runs one command as TrvCmd does; "" or what the host got back besides the answer.
    bool Command(int32_t code, std::istringstream& in, std::string& back) {
        char text[128] = {};
        intptr_t arg = 0;
        TrvAoiParams aoi = {-1, -1, -1, -1, -1, -1};
        TrvTimingParams timing = {-1.0, -1.0};
        TrvPraxCamResParams res = {7.0, 7.0};
        TrvPraxControlParams control = {0, 0.0};
        int32_t type = 0;
        std::wstring name;
        if (code == 45) {
            int32_t* fields[] = {&aoi.nMode, &aoi.x, &aoi.y, &aoi.width, &aoi.height};
            for (int32_t v = 0, i = 0; i < 5 && in >> v; ++i) {
                *fields[i] = v;
            }
            arg = reinterpret_cast<intptr_t>(&aoi);
        } else if (code == 46) {
            arg = reinterpret_cast<intptr_t>(&timing);
        } else if (code == 44) {
            arg = reinterpret_cast<intptr_t>(&res);
        } else if (code == 43) {
            in >> control.nType >> control.dPercent;
            arg = reinterpret_cast<intptr_t>(&control);
        } else if (code == 34) {
            in >> type;
            arg = reinterpret_cast<intptr_t>(&type);
        } else if (code == 42) {
            std::string n;
            in >> n;
            name.assign(n.begin(), n.end());
            arg = reinterpret_cast<intptr_t>(name.c_str());
        } else {
            in >> arg;
        }
        EnterCriticalSection(&gCmdLock);
        const bool answer = Dispatch(code, arg);
        LeaveCriticalSection(&gCmdLock);
        if (code == 45) {
            std::snprintf(text, sizeof text, " %d %d %d %d", aoi.x, aoi.y, aoi.width, aoi.height);
        } else if (code == 46) {
            std::snprintf(text, sizeof text, " %.12g %.12g", timing.dFrameRate, timing.dExposure);
        } else if (code == 44) {
            std::snprintf(text, sizeof text, " %.12g", res.dResX);
        } else if (code == 34) {
            std::snprintf(text, sizeof text, " %d", type);
        }
        back = text;
        return answer;
    }

    std::string Step(const std::string& step) {
        std::istringstream in(step);
        std::string verb, out = step;
        in >> verb;
        sErrors = 0;
        if (verb == "load") {
            MyLoadMultiple(gCamWnd);
            if (gMyCams.empty()) {
                MyLoadSingle(gCamWnd);
            }
        } else if (verb == "event") {
            int32_t code = 0;
            in >> code;
            sim_post_event(0, code, 0, -1, 0);
        } else if (verb == "frames") {
            const uint32_t target = sFrames + 3;
            for (int i = 0; i < 4000 && sFrames < target; ++i) {
                Pump();
                Sleep(5);
            }
            out += " -> " + (sFrames >= target ? sFrameSize : "none");
        } else if (verb == "key") {
            std::string key;
            in >> key;
            out += " -> " + ToUtf8(settings->Get(std::wstring(key.begin(), key.end()).c_str()));
        } else if (verb == "sim") {
            int n = 0;
            std::string key, value;
            in >> n >> key;
            std::getline(in >> std::ws, value);
            sim_configure(n, key.c_str(), value.c_str());
        } else {
            std::string back;
            out += Command(std::stoi(verb), in, back) ? " -> 1" : " -> 0";
            out += back;
        }
        Pump();
        for (int i = 0; i < sErrors; ++i) {
            out += " +error";
        }
        return out;
    }

    void Run(const Row& r) {
        settings = std::make_unique<HostSettings>();
        ResetSettingsNotes();
        gCurCamIndex = 0;
        gCamShareConfig = false;
        gCurCamConfigId = 0xFFFFFFFFu;
        wcscpy_s(gConfigDir, settings->configDir.c_str());
        wcscpy_s(gCamFileName, L"ueyecam.ini");
        wcscpy_s(gSection, L"video");
        gFocusType = 3;
        gFrameCallback = &OnFrame;
        gErrorCallback = &OnError;
        gLastFrameCam = 0xFFFFFFFFu;
        gFrameEventCount = 0;
        PraxOutputState = {};
        sim_reset();
        sim_set_fps(50);
        std::string serials = "A";
        for (const std::string& g : SplitOn(r.given, ';')) {
            serials = g.rfind("cameras=", 0) == 0 ? g.substr(8) : serials;
        }
        uint32_t device = 0;
        for (const std::string& serial : SplitOn(serials, ' ')) {
            const SimCamera c = sim_camera(serial.c_str(), ++device, 2, 64, 48);
            ASSERT_EQ(sim_configure(sim_add_camera(&c), "stalled", "1"), 0);
            sim_configure(static_cast<int>(device) - 1, "user_memory", kLensRecord);
        }
        for (const std::string& g : SplitOn(r.given, ';')) {
            Given(g);
        }
        ASSERT_EQ(sim_cue(r.cues), *r.cues == 0 ? -1 : 0) << r.cues;
        log.Take();
        std::string host, expected;
        for (const std::string& step : SplitOn(r.host, ';')) {
            const std::string run = step.substr(0, std::min(step.find(" ->"), step.find(" +")));
            host += (host.empty() ? "" : "; ") + Step(run);
            expected += (expected.empty() ? "" : "; ") + step;
        }
        EXPECT_EQ(host, expected);
        std::vector<std::string> lines;
        for (const std::string& l : SplitOn(log.Take(), '\n', false)) {
            if (l.rfind("***** UEYECAM IS_UEYE_MESSAGE", 0) != 0) {
                lines.push_back(l);
            }
        }
        const std::string dir = ToUtf8(settings->configDir);
        const std::string logSays = InOrder(lines, Replace(r.log, "$DIR\\", dir), false);
        EXPECT_EQ(logSays, "") << "log:\n" << Replace(JoinLines(lines), dir, "$DIR\\");
        const std::vector<std::string> journal = Journal();
        const std::string callsSay = InOrder(journal, Replace(r.calls, "$DIR\\", dir), true);
        EXPECT_EQ(callsSay, "") << "journal:\n" << Replace(JoinLines(journal), dir, "$DIR\\");
        char unfired[256] = {};
        EXPECT_EQ(sim_cue_unfired(unfired, sizeof unfired), 0) << "never acted: " << unfired;
        Finish();
    }

    // Every row of `rows`, the row's name in each failure.
    template <size_t N> void RunAll(const Row (&rows)[N]) {
        for (const Row& r : rows) {
            SCOPED_TRACE(r.name);
            Run(r);
        }
    }

    static std::string JoinLines(const std::vector<std::string>& lines) {
        std::string out;
        for (const std::string& l : lines) {
            out += l + "\n";
        }
        return out;
    }

    // A lens record of version 1.2, resolution 0.0055 in unit 2 (5.5); output 0 base 7000 and
    // scale 50 %, output 1 base 20000 and scale 80 %.
    static constexpr const char* kLensRecord =
        "0102030000000000000000000000000050140032070000000000000000000000ba490c022b87763f02";

    std::unique_ptr<HostSettings> settings;
    std::vector<std::wstring> folders;
    LogCollector log;
    static inline int sErrors = 0;
    static inline uint32_t sFrames = 0;
    static inline std::string sFrameSize;
};

} // namespace trvtest
