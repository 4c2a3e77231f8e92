// trvhost: the reference host. Loads a plug-in DLL, drives its life through TrvCmd, receives
// frames, counts them, prints the frame rate, writes a PNG snapshot and a JSON report, runs a
// script of host commands and can show the live frames in a window.
//   trvhost --plugin PATH [--config-dir DIR] [--cam-file NAME] [--section NAME]
//           [--focus-type N] [--seconds S] [--snapshot FILE.png] [--report FILE.json]
//           [--script "cmd; cmd"] [--print-log] [--preview] [--record FILE.jsonl]
#include "infra/trv_params.h"
#include "frame_check.h"
#include "host_options.h"
#include "preview.h"
#include "log_reader.h"

#include <nlohmann/json.hpp>

#include <windows.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

using TrvCmdFn = int32_t (*)(int32_t, intptr_t);

using Json = nlohmann::ordered_json;

std::atomic<uint64_t> gFrames{0};
std::atomic<uint64_t> gErrors{0};
std::atomic<int32_t> gWidth{0};
std::atomic<int32_t> gHeight{0};
std::mutex gCheckLock;
trvhost::FrameChecker gCheck;
std::atomic<bool> gWantCopy{false};
std::mutex gCopyLock;
std::vector<unsigned char> gCopy;
int32_t gCopyWidth = 0;
int32_t gCopyHeight = 0;

void OnFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size, intptr_t,
             int32_t) {
    ++gFrames;
    gWidth = width;
    gHeight = height;
    bool whole = false;
    {
        std::lock_guard<std::mutex> g(gCheckLock);
        const uint64_t wrong = gCheck.Counts().wrongSize;
        gCheck.Add(pixels, width, height, size);
        whole = gCheck.Counts().wrongSize == wrong;
    }
    if (!whole) {
        return;
    }
    if (gWantCopy) {
        std::lock_guard<std::mutex> g(gCopyLock);
        gCopy.assign(pixels, pixels + size);
        gCopyWidth = width;
        gCopyHeight = height;
        gWantCopy = false;
    }
    trvhost::ShowInPreview(pixels, width, height);
}

void OnError() {
    ++gErrors;
}

// Unix paths from the demo script become Wine's Z: drive paths.
std::wstring WindowsPath(const std::string& path) {
    std::wstring w(path.begin(), path.end());
    if (!w.empty() && w[0] == L'/') {
        for (wchar_t& c : w) {
            if (c == L'/') {
                c = L'\\';
            }
        }
        w = L"Z:" + w;
    }
    return w;
}

uint32_t LastFrameNumber() {
    std::lock_guard<std::mutex> g(gCheckLock);
    return gCheck.LastNumber();
}

// The preview's title: frame rate since the last title, frame number and size.
std::wstring PreviewTitle() {
    static uint64_t framesBefore = 0;
    static DWORD ticksBefore = 0;
    const uint64_t frames = gFrames;
    const DWORD now = GetTickCount();
    const double fps =
        now != ticksBefore ? (frames - framesBefore) * 1000.0 / (now - ticksBefore) : 0.0;
    framesBefore = frames;
    ticksBefore = now;
    wchar_t title[160];
    swprintf(title, 160, L"trvhost: %.1f fps, frame %lu, %d x %d", fps,
             static_cast<unsigned long>(LastFrameNumber()), gWidth.load(), gHeight.load());
    return title;
}

class Host {
  public:
    explicit Host(TrvCmdFn cmd, bool printLog) : m_cmd(cmd), m_printLog(printLog) {}

    int32_t Cmd(int32_t code, intptr_t arg = 0) {
        const int32_t r = m_cmd(code, arg);
        FlushLog();
        return r;
    }
    template <class Block> int32_t Cmd(int32_t code, Block* block) {
        return Cmd(code, reinterpret_cast<intptr_t>(block));
    }
    void FlushLog() {
        const std::string text = ToUtf8(m_log.Drain());
        if (m_printLog && !text.empty()) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
        }
    }
    // Lets frames flow for `seconds` (less when the preview is closed); prints their rate and
    // size and keeps them for the report. A phase shorter than a millisecond is no phase: nothing
    // is printed or kept, and the answer is false.
    bool Run(double seconds, const std::string& label) {
        const DWORD ms = static_cast<DWORD>(seconds * 1000);
        if (ms == 0) {
            return false;
        }
        const uint64_t before = gFrames;
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < ms && !trvhost::PreviewClosed()) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            FlushLog();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        const double spent = (GetTickCount() - start) / 1000.0;
        const uint64_t n = gFrames - before;
        const double fps = spent > 0 ? n / spent : 0.0;
        std::printf("trvhost: %s: %llu frames in %.1f s = %.1f fps, %d x %d\n", label.c_str(),
                    static_cast<unsigned long long>(n), spent, fps, gWidth.load(), gHeight.load());
        runs.push_back({{"phase", label},
                        {"frames", n},
                        {"seconds", spent},
                        {"fps", fps},
                        {"width", gWidth.load()},
                        {"height", gHeight.load()}});
        return true;
    }

    Json runs = Json::array();

  private:
    TrvCmdFn m_cmd;
    bool m_printLog;
    LogReader m_log;
};

// Runs one script command; prints and answers what it did.
Json RunCommand(Host& host, const trvhost::ScriptCommand& c) {
    auto num = [&](size_t i) {
        double v = 0;
        trvhost::ParseNumber(c.args[i], v);
        return v;
    };
    std::string text = c.name;
    for (const std::string& a : c.args) {
        text += " " + a;
    }
    Json out = {{"command", text}};
    if (c.name == "exposure") {
        out["result"] = host.Cmd(_TRV_DSHOW_CMD_SET_EXPOSURE, static_cast<intptr_t>(num(0)));
    } else if (c.name == "timing") {
        TrvTimingParams t = {};
        out["result"] = host.Cmd(_TRV_DSHOW_CMD_GET_TIMING, &t);
        out["frame_rate"] = t.dFrameRate;
        out["exposure_ms"] = t.dExposure;
    } else if (c.name == "aoi") {
        TrvAoiParams a = {};
        a.nMode = c.args[0] == "get" ? 2 : c.args[0] == "reset" ? 0 : 1;
        if (a.nMode == 1) {
            a.x = static_cast<int32_t>(num(1));
            a.y = static_cast<int32_t>(num(2));
            a.width = static_cast<int32_t>(num(3));
            a.height = static_cast<int32_t>(num(4));
        }
        out["result"] = host.Cmd(_TRV_DSHOW_CMD_AOI, &a);
        out["aoi"] = {{"x", a.x}, {"y", a.y}, {"width", a.width}, {"height", a.height}};
    } else if (c.name == "focus") {
        const bool start = c.args[0] == "start";
        out["result"] = host.Cmd(start ? _TRV_DSHOW_CMD_START_FOCUS : _TRV_DSHOW_CMD_STOP_FOCUS);
    } else if (c.name == "focus-type") {
        int32_t v = static_cast<int32_t>(num(0));
        out["result"] = host.Cmd(_TRV_DSHOW_CMD_GET_FOCUS_TYPE, &v);
        out["focus_type"] = v;
    } else if (c.name == "switch") {
        out["result"] = host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, static_cast<intptr_t>(num(0)));
    } else if (c.name == "reset-config") {
        const std::wstring name(c.args[0].begin(), c.args[0].end());
        out["result"] =
            host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(name.c_str()));
    } else if (c.name == "lens") {
        TrvPraxCamResParams p = {};
        out["result"] = host.Cmd(_TRV_DSHOW_CMD_PRAX_CAM_RES, &p);
        out["resolution"] = {{"x", p.dResX}, {"y", p.dResY}};
    } else if (c.name == "output") {
        TrvPraxControlParams p = {};
        p.nType = static_cast<int32_t>(num(0));
        p.dPercent = num(1);
        out["result"] = host.Cmd(_TRV_DSHOW_CMD_PRAX_CONTROL, &p);
    } else if (c.name == "wait") {
        if (host.Run(num(0), "after " + text)) {
            out["phase"] = host.runs.back();
        }
        return out;
    }
    std::printf("trvhost: %s -> %s\n", text.c_str(), out.dump().c_str());
    std::fflush(stdout);
    return out;
}

bool WriteSnapshot(const std::string& path) {
    gWantCopy = true;
    for (int i = 0; i < 200 && gWantCopy; ++i) {
        Sleep(10);
    }
    std::lock_guard<std::mutex> g(gCopyLock);
    if (gCopy.empty()) {
        return false;
    }
    // Frames are BGR; PNG wants RGB.
    std::vector<unsigned char> rgb(gCopy);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        std::swap(rgb[i], rgb[i + 2]);
    }
    const std::wstring wide = WindowsPath(path);
    std::string narrow(wide.begin(), wide.end());
    return stbi_write_png(narrow.c_str(), gCopyWidth, gCopyHeight, 3, rgb.data(), gCopyWidth * 3) !=
           0;
}

bool WriteReport(const std::string& path, const Json& report) {
    FILE* f = _wfopen(WindowsPath(path).c_str(), L"wb");
    if (f == nullptr) {
        return false;
    }
    const std::string text = report.dump(2) + "\n";
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

Json FrameFigures() {
    std::lock_guard<std::mutex> g(gCheckLock);
    const trvhost::FrameCounts& n = gCheck.Counts();
    return {{"total", n.frames},
            {"wrong_size", n.wrongSize},
            {"repeated", n.repeated},
            {"skipped", n.skipped},
            {"torn", n.torn},
            {"restarts", n.restarts},
            {"last_number", gCheck.LastNumber()}};
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    trvhost::Options opt;
    std::string error;
    std::vector<trvhost::ScriptCommand> script;
    if (!trvhost::ParseOptions(args, opt, error) ||
        !trvhost::ParseScript(opt.script, script, error)) {
        std::fprintf(stderr, "trvhost: %s\n", error.c_str());
        return 2;
    }
    // The plug-in reads TRV_RECORD at its first command: the whole session is recorded.
    if (!opt.record.empty()) {
        SetEnvironmentVariableW(L"TRV_RECORD", WindowsPath(opt.record).c_str());
    }
    HMODULE plugin = LoadLibraryW(WindowsPath(opt.plugin).c_str());
    if (plugin == nullptr) {
        const DWORD e = GetLastError();
        std::fprintf(stderr, "trvhost: cannot load %s (error %lu%s)\n", opt.plugin.c_str(), e,
                     e == 126 ? ": the plug-in or its camera library uEye_api_64.dll is missing"
                              : "");
        return 1;
    }
    auto cmd = reinterpret_cast<TrvCmdFn>(
        reinterpret_cast<void*>(GetProcAddress(plugin, MAKEINTRESOURCEA(1))));
    if (cmd == nullptr) {
        std::fprintf(stderr, "trvhost: %s has no export at ordinal 1\n", opt.plugin.c_str());
        return 1;
    }
    Host host(cmd, opt.printLog);
    Json report = {{"plugin", opt.plugin}};
    std::wstring configDir = WindowsPath(opt.configDir);
    if (!configDir.empty() && configDir.back() != L'\\') {
        configDir += L'\\';
    }
    const std::wstring camFile(opt.camFile.begin(), opt.camFile.end());
    const std::wstring section(opt.section.begin(), opt.section.end());

    host.Cmd(_TRV_DSHOW_CMD_LOAD);
    host.Cmd(_TRV_DSHOW_CMD_OPEN);
    TrvStartParams start = {};
    start.nSizeX = -1;
    start.nSizeY = -1;
    start.frameCallback = &OnFrame;
    start.errorCallback = &OnError;
    start.pszConfigDir = configDir.c_str();
    start.nFocusType = opt.focusType;
    start.pszCamFileName = camFile.empty() ? nullptr : camFile.c_str();
    start.pszSection = section.empty() ? nullptr : section.c_str();
    if (opt.preview && !trvhost::OpenPreview(&PreviewTitle)) {
        std::printf("trvhost: the preview window could not be opened\n");
    }
    const int32_t started = host.Cmd(_TRV_DSHOW_CMD_START, &start);
    if (start.nSizeX == -1 && start.nSizeY == -1) {
        std::printf("trvhost: START -> %d returned no image size: no camera was loaded\n", started);
    } else {
        std::printf("trvhost: START -> %d, image %d x %d\n", started, start.nSizeX, start.nSizeY);
    }
    report["start"] = {{"result", started}, {"width", start.nSizeX}, {"height", start.nSizeY}};
    trvhost::FitPreview(start.nSizeX, start.nSizeY);
    host.Run(opt.seconds, "live");
    Json results = Json::array();
    for (const trvhost::ScriptCommand& c : script) {
        results.push_back(RunCommand(host, c));
    }
    int status = 0;
    if (gFrames == 0) {
        std::printf("trvhost: no frame arrived within %.1f s\n", opt.seconds);
        status = 1;
    }
    report["snapshot"] = nullptr;
    if (!opt.snapshot.empty() && gFrames > 0) {
        if (WriteSnapshot(opt.snapshot)) {
            std::printf("trvhost: snapshot %s\n", opt.snapshot.c_str());
            report["snapshot"] = opt.snapshot;
        } else {
            std::printf("trvhost: no snapshot could be taken\n");
            status = 1;
        }
    }
    host.Cmd(_TRV_DSHOW_CMD_STOP);
    host.Cmd(_TRV_DSHOW_CMD_CLOSE);
    host.Cmd(_TRV_DSHOW_CMD_UNLOAD);
    const Json frames = FrameFigures();
    std::printf(
        "trvhost: %llu frames, %llu with a wrong size, %llu repeated, %llu numbers "
        "skipped, %llu torn, %llu error callbacks\n",
        frames["total"].get<unsigned long long>(), frames["wrong_size"].get<unsigned long long>(),
        frames["repeated"].get<unsigned long long>(), frames["skipped"].get<unsigned long long>(),
        frames["torn"].get<unsigned long long>(), static_cast<unsigned long long>(gErrors.load()));
    if (frames["wrong_size"].get<uint64_t>() != 0) {
        status = 1;
    }
    report["phases"] = host.runs;
    report["script"] = results;
    report["frames"] = frames;
    report["error_callbacks"] = gErrors.load();
    report["status"] = status;
    if (!opt.report.empty()) {
        if (WriteReport(opt.report, report)) {
            std::printf("trvhost: report %s\n", opt.report.c_str());
        } else {
            std::printf("trvhost: the report %s could not be written\n", opt.report.c_str());
            status = 1;
        }
    }
    std::fflush(stdout);
    // The plug-in's camera thread runs until the process ends.
    ExitProcess(static_cast<UINT>(status));
}
