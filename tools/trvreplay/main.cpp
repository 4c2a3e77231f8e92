// trvreplay: replays a session recording. The plug-in runs against the simulated camera library,
// which answers every call as the recording says; the host commands are issued as recorded,
// from as many threads; the camera events are posted where they were taken. The plug-in records
// the replay too, and the two recordings are compared as the replay goes.
//   trvreplay --plugin DLL [--check-sim] [--partial] [--timeout S] [--out DIR] RECORDING
// Exit: 0 the same (and, checking the simulator, no answer of its differs), 1 a difference,
// 2 usage, 3 a recording that cannot be replayed, 4 the replay cannot run.
#include "environment.h"
#include "follower.h"
#include "host_commands.h"
#include "library_answers.h"
#include "log_reader.h"
#include "session.h"
#include "sim_control.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Options {
    std::string plugin;
    std::string recording;
    std::string out;
    bool checkSim = false;
    bool partial = false;
    double timeout = 0; // seconds without progress; 0: from the recording
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--plugin" && hasValue) {
            o.plugin = argv[++i];
        } else if (a == "--out" && hasValue) {
            o.out = argv[++i];
        } else if (a == "--timeout" && hasValue) {
            o.timeout = std::atof(argv[++i]);
        } else if (a == "--check-sim") {
            o.checkSim = true;
        } else if (a == "--partial") {
            o.partial = true;
        } else if (!a.empty() && a[0] != '-' && o.recording.empty()) {
            o.recording = a;
        } else {
            return false;
        }
    }
    return !o.plugin.empty() && !o.recording.empty();
}

bool ReadWhole(const std::wstring& path, std::string& text) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (f == nullptr) {
        return false;
    }
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
        text.append(buffer, n);
    }
    std::fclose(f);
    return true;
}

bool WriteWhole(const std::wstring& path, const std::string& text) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// Empties the shared log as the host's viewer does, into `text`.
struct LogCollector {
    LogCollector() : thread([this] { Run(); }) {}
    ~LogCollector() {
        stop = true;
        thread.join();
    }
    void Run() {
        LogReader reader;
        while (!stop) {
            reader.WaitForLine(5);
            const std::string piece = ToUtf8(reader.Drain());
            std::lock_guard<std::mutex> g(lock);
            text += piece;
        }
        const std::string piece = ToUtf8(reader.Drain());
        std::lock_guard<std::mutex> g(lock);
        text += piece;
    }
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::string text;
    std::thread thread;
};

int Fail(int code, const std::string& text) {
    std::fprintf(stderr, "trvreplay: %s\n", text.c_str());
    std::fflush(stderr);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        return Fail(2, "usage: trvreplay --plugin DLL [--check-sim] [--partial] [--timeout S] "
                       "[--out DIR] RECORDING");
    }
    const std::wstring file = WindowsPath(o.recording);
    std::string text;
    if (!ReadWhole(file, text)) {
        return Fail(3, o.recording + ": cannot be read");
    }
    trv::replay::Recording rec;
    const trv::replay::ReadError read = trv::replay::ReadRecording(text, o.partial, rec);
    if (read.fault != trv::replay::Fault::None) {
        return Fail(3, o.recording + ": " + read.text);
    }
    trv::replay::Plan plan;
    std::string error;
    if (!trv::replay::BuildPlan(rec, plan, error)) {
        return Fail(3, o.recording + ": " + error);
    }
    std::wstring folder = o.out.empty() ? file : WindowsPath(o.out);
    if (o.out.empty()) {
        const size_t dot = folder.find_last_of(L".\\");
        folder =
            (dot != std::wstring::npos && folder[dot] == L'.' ? folder.substr(0, dot) : folder) +
            L".replay";
    }
    Environment env(folder, plan.configDir);
    if (!env.Prepare()) {
        return Fail(4, "cannot make the folder " + Narrow(folder));
    }
    for (const trv::replay::EnvWrite& w : plan.initial) {
        env.Apply(w);
    }
    // The recorder of the replay: thumbnails where the recording has them, and no size limit
    // before the recording's.
    const std::wstring thumbs = std::to_wstring(trv::replay::IntOf(rec.header, "thumbEvery", 30));
    WritePrivateProfileStringW(L"video", L"RecordThumbEvery", thumbs.c_str(),
                               env.SettingsFile().c_str());
    WritePrivateProfileStringW(L"video", L"RecordMaxMB", L"4096", env.SettingsFile().c_str());
    const std::wstring replayFile = folder + L"\\recording.jsonl";
    const std::wstring logFile = folder + L"\\log.txt";
    DeleteFileW(replayFile.c_str());
    DeleteFileW(logFile.c_str());
    SetEnvironmentVariableW(L"TRV_SETTINGS", (folder + L"\\settings").c_str());
    SetEnvironmentVariableW(L"TRV_RECORD", replayFile.c_str());
    if (o.checkSim) {
        // The simulator's own frames would be events the recording does not have.
        for (int i = 0; i < sim_camera_count(); ++i) {
            sim_configure(i, "stalled", "1");
        }
    }

    const auto stall = std::chrono::milliseconds(static_cast<int64_t>(
        o.timeout > 0 ? o.timeout * 1000 : 2 * plan.longestGapUs / 1000 + 10000));
    Session session(rec, plan, {Narrow(env.ReplayDir()), env.RecordedDir()}, stall);
    LogCollector log;
    LibraryAnswers answers(session, env, o.checkSim);
    HMODULE plugin = LoadLibraryW(WindowsPath(o.plugin).c_str());
    auto cmd = plugin == nullptr ? nullptr
                                 : reinterpret_cast<TrvCmdFn>(reinterpret_cast<void*>(
                                       GetProcAddress(plugin, MAKEINTRESOURCEA(1))));
    if (cmd == nullptr) {
        return Fail(4, "cannot load the plug-in " + o.plugin);
    }
    std::printf("trvreplay: replaying %s: %zu records, %zu commands, %zu calls, %zu events%s\n",
                o.recording.c_str(), rec.records.size(), plan.commands, plan.calls, plan.events,
                rec.ended ? "" : " (cut short)");
    if (plan.recordedOrder) {
        std::printf("note: the frame events are replayed in the recorded order, not where the "
                    "frame path decided them (the recording's threads do not allow it)\n");
    }
    std::fflush(stdout);
    const DWORD started = GetTickCount();
    Follower follower(session, replayFile);
    session.catchUp = [&follower] { follower.CatchUp(); };
    HostCommands hosts(session, follower, env, cmd);
    while (!session.Diverged() && !(hosts.Done() && session.Complete())) {
        session.CheckStall();
        Sleep(20);
    }
    if (!session.Diverged()) {
        Sleep(200); // a record the replay makes after the recording's last would show now
        follower.CatchUp();
    }
    const double seconds = (GetTickCount() - started) / 1000.0;
    int status = 0;
    if (session.Diverged()) {
        std::printf("%s", session.Report().c_str());
        status = 1;
    } else {
        std::printf("same: the replay did what the recording did (%zu records compared, %.1f "
                    "s)%s\n",
                    plan.order.size(), seconds,
                    rec.ended ? "" : ", up to where the recording was cut short");
    }
    if (o.checkSim) {
        const std::vector<std::string> d = answers.Differences();
        std::printf("the simulator answered %zu of %zu calls otherwise than the recorded "
                    "library%s\n",
                    d.size(), plan.calls, d.empty() ? "" : ":");
        for (const std::string& line : d) {
            std::printf("  %s\n", line.c_str());
        }
        status = status != 0 || !d.empty() ? 1 : 0;
    }
    const std::string version = trv::replay::TextOf(rec.header, "plugin");
    if (!follower.ReplayPlugin().empty() && follower.ReplayPlugin() != version) {
        std::printf("note: recorded with plug-in %s, replayed with %s\n", version.c_str(),
                    follower.ReplayPlugin().c_str());
    }
    Sleep(50); // the last log lines
    log.stop = true;
    log.thread.join();
    if (!WriteWhole(logFile, log.text)) {
        std::printf("trvreplay: the log could not be written to %s\n", Narrow(logFile).c_str());
    }
    std::printf("trvreplay: the replay's recording is %s, its log %s\n", Narrow(replayFile).c_str(),
                Narrow(logFile).c_str());
    std::fflush(stdout);
    // The plug-in's threads may wait in gates; the process end takes them.
    ExitProcess(static_cast<UINT>(status));
}
