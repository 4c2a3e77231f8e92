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
#include "infra/trv_log.h"
#include "record/recorder.h"
#include "log_collector.h"
#include "recording_check.h"
#include "sim_control.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace trvtest {

// Heap allocations of this thread, but those of camera events and cue callbacks (a frame may
// allocate its buffers, a command may not): main.cpp's operator new counts them, and fails every
// one while tNoMemory holds.
inline thread_local long tAllocations = 0;
inline thread_local int tUncounted = 0;
inline thread_local bool tNoMemory = false;

struct Uncounted {
    Uncounted() { ++tUncounted; }
    ~Uncounted() { --tUncounted; }
};

// A row; ';' separates the entries of `given`, `cues` and `host`, "\n" those of `log` and `calls`.
struct Row {
    const char* name;
    // What is there: "cameras=A B", serials of cameras with device ids 1, 2, ... (default "A",
    // 64 x 48, colour, live but posting no frames until "simN:stalled=0"); "simN:KEY=VALUE", a
    // key of camera N; "focus=N", the start block's focus type; "trigger=N" in tarvello.ini;
    // "file:NAME=LINE", a parameter file holding LINE ("!" not one, "/" a folder); "probe=HEAD":
    // at the calls of cue HEAD the named locks another thread finds held (" +held FOCUS_LOCK");
    // "throw=HEAD": memory runs out there ("raise=HEAD": another exception); "errors=none": no
    // error callback; "UEYECAM=event": an event has the stream mutex's name ("=abandoned": a
    // thread ended holding it); any other
    // "KEY=VALUE", a host setting.
    const char* given;
    const char* cues; // sim_cue texts; each must act at least once
    // The host's steps and answers: "load" (as the camera thread loads), "CODE [ARG]" -> answer
    // (42 takes a file name), "45 MODE [X Y W H]" -> answer and block, "46" -> answer, rate and
    // exposure, "44" -> answer and x resolution (7 before), "43 TYPE PERCENT", "34 TYPE" ->
    // answer and type, "47" (a null frame callback), "event CODE [nomem]" (of camera 0; nomem:
    // no memory while it is handled), "frames" -> size of 3 more, "key KEY" -> its host
    // setting, "sim N KEY VALUE", "thread" -> the camera thread's procedure run here, its window
    // refused: its result, ready and running flags. Each error callback adds " +error", each
    // frame an event step delivers " +frame WxH", a command that allocates " +allocated".
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
    return *p == '*' ? Glob(p + 1, t) || (*t != 0 && Glob(p, t + 1))
                     : *p == *t && (*p == 0 || Glob(p + 1, t + 1));
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

// `lines` as one text, with `from` replaced by `to` in it.
inline std::string Replace(const std::vector<std::string>& lines, const std::string& from,
                           const std::string& to) {
    std::string s;
    for (const std::string& l : lines) {
        s += l + "\n";
    }
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
        wc.lpfnWndProc = [](HWND w, UINT m, WPARAM p, LPARAM l) {
            const Uncounted quiet;
            return CamWndProc(w, m, p, l);
        };
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TestCamWindow";
        RegisterClassExW(&wc);
        gCamWnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    }
    static void OnFrame(unsigned char* pixels, int32_t w, int32_t h, int32_t, intptr_t, int32_t) {
        sFrameSize =
            (pixels == nullptr ? "null " : "") + std::to_string(w) + "x" + std::to_string(h);
        sNotes += sWatch ? " +frame " + sFrameSize : "";
        ++sFrames;
    }
    // Logs, so that rows show it after the event's lines, and looks whether another thread
    // could send a command meanwhile.
    static void OnError() {
        gLog.Write("host: error callback\n");
        sNotes += " +error";
        std::thread([] {
            if (TryEnterCriticalSection(&gCmdLock) == 0) {
                sNotes += " +held gCmdLock";
            } else {
                LeaveCriticalSection(&gCmdLock);
            }
        }).join();
    }
    static void NoMemory(void*) { throw std::bad_alloc(); }
    static void Raise(void*) { throw 1; }
    static void Probe(void*) {
        const Uncounted quiet;
        std::thread([] {
            for (const wchar_t* name : {L"FOCUS_LOCK", L"UEYECAM"}) {
                HANDLE m = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
                if (m != nullptr && WaitForSingleObject(m, 0) == WAIT_TIMEOUT) {
                    sNotes += " +held " + ToUtf8(name);
                } else if (m != nullptr) {
                    ReleaseMutex(m);
                }
                CloseHandle(m);
            }
        }).join();
    }
    static void Pump() {
        for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) {
            DispatchMessageW(&m);
        }
    }

    void Given(const std::string& entry) {
        const size_t eq = entry.find('=');
        const std::string key = entry.substr(0, eq), value = entry.substr(eq + 1);
        const std::wstring wkey(key.begin(), key.end()), wvalue(value.begin(), value.end());
        if (key.rfind("sim", 0) == 0) {
            const int n = std::stoi(key.substr(3));
            EXPECT_EQ(sim_configure(n, key.substr(key.find(':') + 1).c_str(), value.c_str()), 0);
        } else if (key == "probe") {
            EXPECT_EQ(sim_cue_callback(value.c_str(), &Probe, nullptr), 0) << value;
        } else if (key == "throw" || key == "raise") {
            EXPECT_EQ(sim_cue_callback(value.c_str(), key == "throw" ? &NoMemory : &Raise, nullptr),
                      0)
                << value;
        } else if (key == "errors") {
            gErrorCallback = nullptr;
        } else if (key == "UEYECAM") {
            CloseStreamMutex();
            occupied = value == "event" ? CreateEventW(nullptr, FALSE, FALSE, L"UEYECAM")
                                        : CreateMutexW(nullptr, FALSE, L"UEYECAM");
            std::thread([this] { WaitForSingleObject(occupied, 0); }).join(); // abandons a mutex
        } else if (key == "focus") {
            gFocusType = std::stoi(value);
        } else if (key == "trigger") {
            settings->Trigger(wvalue.c_str());
        } else if (key.rfind("file:", 0) == 0 && value == "/") {
            CreateDirectoryW((settings->configDir + wkey.substr(5)).c_str(), nullptr);
            folders.push_back(settings->configDir + wkey.substr(5));
        } else if (key.rfind("file:", 0) == 0) {
            settings->WriteConfigFile(wkey.substr(5),
                                      value == "!" ? "not a parameter file\n"
                                                   : "[sim-camera-parameters]\n" + value + "\n");
        } else if (key != "cameras") {
            settings->Set(wkey.c_str(), wvalue.c_str());
        }
    }

    // One command as TrvCmd runs it: " -> " and its answer, then what it left in its block.
    static std::string Command(int32_t code, std::istringstream& in) {
        std::string name;
        std::vector<double> v;
        if (code == 42) {
            in >> name;
        }
        for (double d = 0; in >> d;) {
            v.push_back(d);
        }
        v.resize(5, -1.0);
        auto i = [&](int k) { return static_cast<int32_t>(v[k]); };
        TrvAoiParams aoi = {i(0), i(1), i(2), -1, i(3), i(4)};
        TrvTimingParams timing = {-1.0, -1.0};
        TrvPraxCamResParams res = {7.0, 7.0};
        TrvPraxControlParams control = {i(0), v[1]};
        int32_t type = i(0);
        const TrvFrameCallback none = nullptr;
        const std::wstring wide(name.begin(), name.end());
        const std::pair<int32_t, const void*> blocks[] = {
            {45, &aoi},  {46, &timing}, {44, &res},        {43, &control},
            {34, &type}, {47, &none},   {42, wide.c_str()}};
        intptr_t arg = static_cast<intptr_t>(v[0]);
        for (const auto& [c, block] : blocks) {
            arg = c == code ? reinterpret_cast<intptr_t>(block) : arg;
        }
        EnterCriticalSection(&gCmdLock);
        const long allocations = tAllocations;
        const bool answer = Dispatch(code, arg);
        const bool allocated = tAllocations != allocations;
        LeaveCriticalSection(&gCmdLock);
        char back[128] = {};
        if (code == 45) {
            std::snprintf(back, sizeof back, " %d %d %d %d", aoi.x, aoi.y, aoi.width, aoi.height);
        } else if (code == 46 || code == 44) {
            std::snprintf(back, sizeof back, code == 46 ? " %.12g %.12g" : " %.12g",
                          code == 46 ? timing.dFrameRate : res.dResX, timing.dExposure);
        } else if (code == 34) {
            std::snprintf(back, sizeof back, " %d", type);
        }
        return (answer ? " -> 1" : " -> 0") + std::string(back) + (allocated ? " +allocated" : "");
    }

    std::string Step(const std::string& step) {
        std::istringstream in(step);
        std::string verb, key, value, out = step;
        int n = 0;
        in >> verb;
        if (verb == "load") {
            MyLoadMultiple(gCamWnd);
            if (gMyCams.empty()) {
                MyLoadSingle(gCamWnd);
            }
        } else if (verb == "event" && in >> n) {
            sim_post_event(0, n, 0, -1, 0);
            tNoMemory = in >> key && key == "nomem";
            sWatch = true;
            Pump();
            tNoMemory = sWatch = false;
        } else if (verb == "thread") {
            // The camera thread's procedure on this thread: with a window it would never return.
            HHOOK refuse = SetWindowsHookExW(
                WH_CBT,
                [](int code, WPARAM w, LPARAM l) -> LRESULT {
                    return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, w, l);
                },
                nullptr, GetCurrentThreadId());
            const HWND window = gCamWnd;
            gCamThreadRunning = 1;
            gCamThreadReady = 0;
            out += " -> " + std::to_string(uEueCamThread(reinterpret_cast<LPVOID>(9)));
            out += " ready=" + std::to_string(gCamThreadReady) +
                   " running=" + std::to_string(gCamThreadRunning);
            UnhookWindowsHookEx(refuse);
            gCamWnd = window;
        } else if (verb == "frames") {
            const uint32_t target = sFrames + 3;
            for (int k = 0; k < 4000 && sFrames < target; ++k) {
                Pump();
                Sleep(5);
            }
            out += " -> " + (sFrames >= target ? sFrameSize : "none");
        } else if (verb == "key" && in >> key) {
            out += " -> " + ToUtf8(settings->Get(std::wstring(key.begin(), key.end()).c_str()));
        } else if (verb == "sim" && in >> n >> key && std::getline(in >> std::ws, value)) {
            sim_configure(n, key.c_str(), value.c_str());
        } else {
            out += Command(std::stoi(verb), in);
        }
        Pump();
        return out + std::exchange(sNotes, std::string());
    }

    // `recorded`: with a recording on, which must change nothing the row expects but its one log
    // line, and must hold every call as the library saw it and every log line.
    void Run(const Row& r, bool recorded) {
        settings = std::make_unique<HostSettings>();
        ResetSettingsNotes();
        gCurCamIndex = 0;
        gCamShareConfig = false;
        gCurCamConfigId = 0xFFFFFFFFu;
        wcscpy_s(gConfigDir, settings->configDir.c_str());
        wcscpy_s(gCamFileName, L"ueyecam.ini");
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
        for (const std::string& serial : SplitOn(serials, ' ')) {
            const SimCamera c = sim_camera(serial.c_str(), sim_camera_count() + 1, 2, 64, 48);
            const int index = sim_add_camera(&c);
            sim_configure(index, "stalled", "1");
            sim_configure(index, "user_memory", kLensRecord);
        }
        for (const std::string& g : SplitOn(r.given, ';')) {
            Given(g);
        }
        ASSERT_EQ(sim_cue(r.cues), *r.cues == 0 ? -1 : 0) << r.cues;
        log.Take();
        const std::wstring file = settings->configDir + L"row.jsonl";
        if (recorded) {
            settings->written.push_back(file);
            RecordStart(file.c_str(), "test", nullptr, nullptr, uint64_t{1} << 30, 0);
            EXPECT_EQ(log.Take(), "TrvRecord: recording to " + ToUtf8(file) + "\n");
        }
        std::string host, expected;
        for (const std::string& step : SplitOn(r.host, ';')) {
            host += (host.empty() ? "" : "; ") +
                    Step(step.substr(0, std::min(step.find(" ->"), step.find(" +"))));
            expected += (expected.empty() ? "" : "; ") + step;
        }
        EXPECT_EQ(host, expected);
        const std::vector<std::string> viewer = SplitOn(log.Take(), '\n', false);
        std::vector<std::string> lines; // the slow-frame lines come at any time
        for (const std::string& l : viewer) {
            if (l.rfind("***** UEYECAM IS_UEYE_MESSAGE", 0) != 0) {
                lines.push_back(l);
            }
        }
        const std::string dir = ToUtf8(settings->configDir);
        const std::vector<std::string> journal = Journal();
        EXPECT_EQ(InOrder(lines, Replace({r.log}, "$DIR\\", dir), false), "")
            << "log:\n"
            << Replace(lines, dir, "$DIR\\");
        EXPECT_EQ(InOrder(journal, Replace({r.calls}, "$DIR\\", dir), true), "")
            << "journal:\n"
            << Replace(journal, dir, "$DIR\\");
        if (recorded) {
            RecordStop("test");
            EXPECT_EQ(CheckRecording(file, journal, viewer), "") << "in " << ToUtf8(file);
        }
        char unfired[256] = {};
        EXPECT_EQ(sim_cue_unfired(unfired, sizeof unfired), 0) << "never acted: " << unfired;
        // The cameras close and give back all of their image memory.
        CloseAllCameras();
        SimStats s = {};
        sim_stats(&s);
        EXPECT_EQ(s.liveBlocks + s.badFrees + s.freedByExit, 0) << "image memory not balanced";
        gMyCams.clear(); // their frame buffers are left to the process's end
        gCamList.clear();
        for (const std::wstring& f : folders) {
            RemoveDirectoryW(f.c_str());
        }
        folders.clear();
        if (occupied != nullptr) { // the stream mutex is made anew
            CloseHandle(std::exchange(occupied, nullptr));
            CloseStreamMutex();
        }
    }

    // Every row of `rows`, the row's name in each failure; then each again, recorded.
    template <size_t N> void RunAll(const Row (&rows)[N]) {
        for (const bool recorded : {false, true}) {
            for (const Row& r : rows) {
                SCOPED_TRACE(std::string(r.name) + (recorded ? " (recorded)" : ""));
                Run(r, recorded);
            }
        }
    }

    // A lens record of version 1.2, resolution 0.0055 in unit 2 (5.5); output 0 base 7000 and
    // scale 50 %, output 1 base 20000 and scale 80 %.
    static constexpr const char* kLensRecord =
        "0102030000000000000000000000000050140032070000000000000000000000ba490c022b87763f02";

    std::unique_ptr<HostSettings> settings;
    std::vector<std::wstring> folders;
    HANDLE occupied = nullptr; // "UEYECAM" as the row gave it
    LogCollector log;
    static inline uint32_t sFrames = 0;
    static inline std::string sFrameSize;
    static inline std::string sNotes;  // " +error", " +frame WxH" and " +held NAME" of the step
    static inline bool sWatch = false; // an event step: frames add notes
};

} // namespace trvtest
