// The real plug-in loaded as the host loads it, the host's frame callback, and the plug-in's
// log emptied as a viewer empties it. The callback is a plain function, so what it saw is
// process-wide: each end-to-end scenario runs in a process of its own.
#pragma once

#include "infra/trv_params.h"
#include "log_collector.h"
#include "log_text.h"
#include "sim_control.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace trvtest {

// The log without the camera thread's slow-frame lines, which come at any time and whose pieces
// may fall between the pieces of another line.
inline std::string WithoutSlowFrames(std::string log) {
    const std::string head = "***** UEYECAM IS_UEYE_MESSAGE m_nBitsPerPixel=";
    for (size_t p = log.find(head); p != std::string::npos; p = log.find(head, p)) {
        size_t end = log.find_first_not_of("0123456789", p + head.size());
        log.erase(p, end - p);
        size_t t = log.find(" time=", p);
        while (t != std::string::npos && t >= 5 && log.compare(t - 5, 5, "Init4") == 0) {
            t = log.find(" time=", t + 1);
        }
        if (t != std::string::npos) {
            end = log.find_first_not_of("0123456789", t + 6);
            log.erase(t, end != std::string::npos && log[end] == '\n' ? end + 1 - t : 0);
        }
    }
    return log;
}

// The simulator's frame number as a delivered frame shows it: memory byte i is frame byte i
// of a 24-bit frame, or frame bytes 3i to 3i+2 of an expanded 8-bit frame.
inline uint32_t FrameNumber(const unsigned char* pixels, bool mono) {
    uint32_t n = 0;
    for (int b = 0; b < 4; ++b) {
        n |= static_cast<uint32_t>(pixels[mono ? 3 * b : b]) << (8 * b);
    }
    return n;
}

// The newest frame number a simulated camera may have written by now: the frames it posted, and
// the one it may be writing, whose number a stop takes back.
inline uint32_t NewestFrameNumber() {
    uint32_t newest = 0;
    for (int i = 0; i < sim_camera_count(); ++i) {
        newest = std::max(newest, sim_frames_posted(i));
    }
    return newest + 1;
}

// The frame is whole: the number in its last four memory bytes is the one at its start, or a
// later one. The camera writes its next frames into the same memory while the plug-in may still
// be copying (the number at the start is written last), for as long as a loaded machine holds the
// copying thread; but never a number it has not reached. A frame event handled after its image
// memory was replaced (a new area of interest) shows the new memory before the camera wrote into
// it: number 0, as the simulator's new memory is zeros. A frame of a wrong size or offset has
// picture bytes there, hardly ever a number in that range. A monochrome frame has three equal
// bytes at every pixel looked at.
inline bool PatternFits(const unsigned char* pixels, int32_t size, bool mono) {
    if (pixels == nullptr || size < 24) {
        return false;
    }
    const size_t k = mono ? 3 : 1;
    const size_t memoryBytes = static_cast<size_t>(size) / k;
    const uint32_t first = FrameNumber(pixels, mono);
    const uint32_t last = FrameNumber(pixels + (memoryBytes - 4) * k, mono);
    if (last < first || last > NewestFrameNumber()) {
        return false;
    }
    for (size_t i = 0; mono && i < memoryBytes; i += 997) {
        const unsigned char* p = pixels + 3 * i;
        if (p[1] != p[0] || p[2] != p[0]) {
            return false;
        }
    }
    return true;
}

struct FrameRecord {
    std::atomic<uint32_t> frames{0};
    std::atomic<uint32_t> bad{0}; // no pixels, a wrong size, or a pattern that does not fit
    std::atomic<int32_t> width{0};
    std::atomic<int32_t> height{0};
    std::atomic<bool> nullAllowed{false}; // a frame event queued before STOP comes without pixels
};

inline FrameRecord gFrames;

// The host's frame callback, for colour cameras.
inline void RecordFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size,
                        intptr_t, int32_t) {
    if (!(pixels == nullptr && gFrames.nullAllowed) &&
        (int64_t{width} * height * 3 != size || !PatternFits(pixels, size, false))) {
        ++gFrames.bad;
    }
    gFrames.width = width;
    gFrames.height = height;
    ++gFrames.frames;
}

// Microseconds of the performance counter, as the simulator counts them (sim_post_time_us).
inline int64_t NowUs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return c.QuadPart / f.QuadPart * 1000000 + c.QuadPart % f.QuadPart * 1000000 / f.QuadPart;
}

// Waits at most `ms` for `done()`.
template <class Done> bool WaitFor(Done done, DWORD ms = 20000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) {
            return false;
        }
        Sleep(5);
    }
    return true;
}

inline bool MoreFrames(uint32_t n, DWORD ms = 20000) {
    const uint32_t target = gFrames.frames + n;
    return WaitFor([&] { return gFrames.frames >= target; }, ms);
}

// Waits for `n` more frames and answers the size of the last, "WxH", or "no frames".
inline std::string NextFrames(uint32_t n) {
    return MoreFrames(n) ? std::to_string(gFrames.width) + "x" + std::to_string(gFrames.height)
                         : "no frames";
}

// Frames delivered within `ms`.
inline uint32_t FramesDuring(DWORD ms) {
    const uint32_t before = gFrames.frames;
    Sleep(ms);
    return gFrames.frames - before;
}

// Folder of the running test program; the plug-in is built beside it.
inline std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s = path;
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

// A start block as a host fills it, free run, and -1 in the size fields so that a test sees
// whether START wrote them.
inline TrvStartParams StartBlock(const std::wstring& configDir,
                                 TrvErrorCallback onError = nullptr) {
    TrvStartParams b = {};
    b.nSizeX = -1;
    b.nSizeY = -1;
    b.frameCallback = &RecordFrame;
    b.errorCallback = onError;
    b.pszConfigDir = configDir.c_str();
    b.nFocusType = 3;
    return b;
}

// The plug-in beside the test program, or the one TRV_PLUGIN names (a Debug build's).
inline std::wstring PluginPath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"TRV_PLUGIN", path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(path) : OwnFolder() + L"trvueye.dll";
}

// Loads the plug-in, and empties its log as a viewer does. Never unloaded: the plug-in's camera
// thread lives on.
class PluginHost {
  public:
    PluginHost() {
        HMODULE module = LoadLibraryW(PluginPath().c_str());
        if (module != nullptr) {
            m_cmd = reinterpret_cast<int32_t (*)(int32_t, intptr_t)>(
                reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(1))));
        }
    }

    bool loaded() const { return m_cmd != nullptr; }
    int32_t Cmd(int32_t code, intptr_t param = 0) { return m_cmd(code, param); }
    template <class Block> int32_t Cmd(int32_t code, Block* block) {
        return m_cmd(code, reinterpret_cast<intptr_t>(block));
    }
    // Everything logged since the last call, slow-frame lines left out.
    std::string TakeLog() { return WithoutSlowFrames(m_log.Take()); }
    // While paused the log's mutex is left to the plug-in alone.
    void Pause(bool paused) { m_log.Pause(paused); }

  private:
    LogCollector m_log;
    int32_t (*m_cmd)(int32_t, intptr_t) = nullptr;
};

} // namespace trvtest
