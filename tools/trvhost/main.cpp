// trvhost: the reference host. Loads a plug-in DLL, drives its life through TrvCmd, receives
// frames, prints the frame rate, writes a PNG snapshot and runs a script of host commands.
//   trvhost --plugin PATH [--config-dir DIR] [--cam-file NAME] [--section NAME]
//           [--focus-type N] [--seconds S] [--snapshot FILE.png] [--script "cmd; cmd"]
//           [--print-log]
#include "infra/trv_params.h"
#include "host_options.h"
#include "log_reader.h"

#include <windows.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

using TrvCmdFn = int32_t (*)(int32_t, intptr_t);

std::atomic<uint64_t> gFrames{0};
std::atomic<uint64_t> gBadSizes{0};
std::atomic<uint64_t> gErrors{0};
std::atomic<int32_t> gWidth{0};
std::atomic<int32_t> gHeight{0};
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
    if (static_cast<int64_t>(width) * height * 3 != size || pixels == nullptr) {
        ++gBadSizes;
        return;
    }
    if (gWantCopy) {
        std::lock_guard<std::mutex> g(gCopyLock);
        gCopy.assign(pixels, pixels + size);
        gCopyWidth = width;
        gCopyHeight = height;
        gWantCopy = false;
    }
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
    // Lets frames flow for `seconds`; prints their rate and size.
    void Run(double seconds, const char* label) {
        const uint64_t before = gFrames;
        const DWORD start = GetTickCount();
        const DWORD ms = static_cast<DWORD>(seconds * 1000);
        while (GetTickCount() - start < ms) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&msg);
            }
            FlushLog();
            Sleep(20);
        }
        const double spent = (GetTickCount() - start) / 1000.0;
        const uint64_t n = gFrames - before;
        std::printf("trvhost: %s: %llu frames in %.1f s = %.1f fps, %d x %d\n", label,
                    static_cast<unsigned long long>(n), spent, spent > 0 ? n / spent : 0.0,
                    gWidth.load(), gHeight.load());
    }

  private:
    TrvCmdFn m_cmd;
    bool m_printLog;
    LogReader m_log;
};

void RunScript(Host& host, const std::vector<trvhost::ScriptCommand>& script) {
    for (const trvhost::ScriptCommand& c : script) {
        auto num = [&](size_t i) {
            double v = 0;
            trvhost::ParseNumber(c.args[i], v);
            return v;
        };
        if (c.name == "exposure") {
            const int32_t r = host.Cmd(_TRV_DSHOW_CMD_SET_EXPOSURE, static_cast<intptr_t>(num(0)));
            std::printf("trvhost: exposure %s%% -> %d\n", c.args[0].c_str(), r);
        } else if (c.name == "timing") {
            TrvTimingParams t = {};
            const int32_t r = host.Cmd(_TRV_DSHOW_CMD_GET_TIMING, &t);
            std::printf("trvhost: timing -> %d: %.3f fps, exposure %.3f ms\n", r, t.dFrameRate,
                        t.dExposure);
        } else if (c.name == "aoi") {
            TrvAoiParams a = {};
            a.nMode = c.args[0] == "get" ? 2 : c.args[0] == "reset" ? 0 : 1;
            if (a.nMode == 1) {
                a.x = static_cast<int32_t>(num(1));
                a.y = static_cast<int32_t>(num(2));
                a.width = static_cast<int32_t>(num(3));
                a.height = static_cast<int32_t>(num(4));
            }
            const int32_t r = host.Cmd(_TRV_DSHOW_CMD_AOI, &a);
            std::printf("trvhost: aoi %s -> %d: x=%d y=%d w=%d h=%d\n", c.args[0].c_str(), r, a.x,
                        a.y, a.width, a.height);
        } else if (c.name == "focus") {
            const bool start = c.args[0] == "start";
            const int32_t r =
                host.Cmd(start ? _TRV_DSHOW_CMD_START_FOCUS : _TRV_DSHOW_CMD_STOP_FOCUS);
            std::printf("trvhost: focus %s -> %d\n", c.args[0].c_str(), r);
        } else if (c.name == "focus-type") {
            int32_t v = static_cast<int32_t>(num(0));
            const int32_t r = host.Cmd(_TRV_DSHOW_CMD_GET_FOCUS_TYPE, &v);
            std::printf("trvhost: focus-type %s -> %d: %d\n", c.args[0].c_str(), r, v);
        } else if (c.name == "switch") {
            const int32_t r = host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, static_cast<intptr_t>(num(0)));
            std::printf("trvhost: switch %s -> %d\n", c.args[0].c_str(), r);
        } else if (c.name == "reset-config") {
            const std::wstring name(c.args[0].begin(), c.args[0].end());
            const int32_t r =
                host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(name.c_str()));
            std::printf("trvhost: reset-config %s -> %d\n", c.args[0].c_str(), r);
        } else if (c.name == "lens") {
            TrvPraxCamResParams p = {};
            const int32_t r = host.Cmd(_TRV_DSHOW_CMD_PRAX_CAM_RES, &p);
            std::printf("trvhost: lens -> %d: x=%g y=%g\n", r, p.dResX, p.dResY);
        } else if (c.name == "output") {
            TrvPraxControlParams p = {};
            p.nType = static_cast<int32_t>(num(0));
            p.dPercent = num(1);
            const int32_t r = host.Cmd(_TRV_DSHOW_CMD_PRAX_CONTROL, &p);
            std::printf("trvhost: output %s %s%% -> %d\n", c.args[0].c_str(), c.args[1].c_str(), r);
        } else if (c.name == "wait") {
            host.Run(num(0), ("after " + c.name + " " + c.args[0]).c_str());
        }
        std::fflush(stdout);
    }
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
    const int32_t started = host.Cmd(_TRV_DSHOW_CMD_START, &start);
    if (start.nSizeX == -1 && start.nSizeY == -1) {
        std::printf("trvhost: START -> %d returned no image size: no camera was loaded\n", started);
    } else {
        std::printf("trvhost: START -> %d, image %d x %d\n", started, start.nSizeX, start.nSizeY);
    }
    host.Run(opt.seconds, "live");
    RunScript(host, script);
    int status = 0;
    if (gFrames == 0) {
        std::printf("trvhost: no frame arrived within %.1f s\n", opt.seconds);
        status = 1;
    }
    if (!opt.snapshot.empty() && gFrames > 0) {
        if (WriteSnapshot(opt.snapshot)) {
            std::printf("trvhost: snapshot %s\n", opt.snapshot.c_str());
        } else {
            std::printf("trvhost: no snapshot could be taken\n");
            status = 1;
        }
    }
    host.Cmd(_TRV_DSHOW_CMD_STOP);
    host.Cmd(_TRV_DSHOW_CMD_CLOSE);
    host.Cmd(_TRV_DSHOW_CMD_UNLOAD);
    std::printf("trvhost: %llu frames, %llu with a wrong size, %llu error callbacks\n",
                static_cast<unsigned long long>(gFrames.load()),
                static_cast<unsigned long long>(gBadSizes.load()),
                static_cast<unsigned long long>(gErrors.load()));
    if (gBadSizes != 0) {
        status = 1;
    }
    std::fflush(stdout);
    // The plug-in's camera thread runs until the process ends.
    ExitProcess(static_cast<UINT>(status));
}
