// The frame path's parts timed alone: the conversion (hot, cold, as in the run) and the system
// calls the camera thread makes per frame.
#include "acquisition/frame_convert.h"
#include "frame_cases.h"
#include "frame_path.h"
#include "sim_control.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>

namespace framepath {
namespace {

// The simulator's test pattern, written as its live thread writes it: 64 KiB blocks, the
// frame number last.
void WritePattern(uint8_t* memory, size_t bytes, uint32_t frame) {
    static uint8_t block[65536];
    for (size_t i = 0; i < sizeof block; ++i) {
        block[i] = sim_pattern_byte(frame, 256 + i);
    }
    for (size_t done = 0; done < bytes; done += sizeof block) {
        std::memcpy(memory + done, block, std::min(sizeof block, bytes - done));
    }
    for (size_t i = 0; i < 4 && i < bytes; ++i) {
        memory[i] = sim_pattern_byte(frame, i);
    }
}

using Convert = std::function<void(const uint8_t*, uint8_t*)>;

// Another thread writes the simulator's pattern into the source, as its live thread does, then
// this one converts it into two buffers in turn, as the plug-in does; `pauseMs` of idle time
// before each frame, as between the frames of a camera.
void AsInTheRun(const Convert& convert, size_t inBytes, size_t outBytes, int frames, DWORD pauseMs,
                Spread& conversion, Spread& write) {
    std::vector<uint8_t> memory(inBytes);
    std::vector<uint8_t> bufferA(outBytes, 1);
    std::vector<uint8_t> bufferB(outBytes, 2);
    HANDLE wanted = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE written = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    constexpr int kWarmUp = 5;
    std::vector<double> writeUs;
    std::thread writer([&] {
        for (int i = 0; i < frames + kWarmUp; ++i) {
            WaitForSingleObject(wanted, INFINITE);
            const int64_t a = Ticks();
            WritePattern(memory.data(), inBytes, static_cast<uint32_t>(i + 1));
            writeUs.push_back(Us(Ticks() - a));
            SetEvent(written);
        }
    });
    std::vector<double> us;
    for (int i = 0; i < frames + kWarmUp; ++i) {
        if (pauseMs > 0) {
            Sleep(pauseMs);
        }
        SetEvent(wanted);
        WaitForSingleObject(written, INFINITE);
        uint8_t* out = i % 2 == 0 ? bufferA.data() : bufferB.data();
        const int64_t a = Ticks();
        convert(memory.data(), out);
        bench::KeepStores(out);
        const int64_t b = Ticks();
        if (i >= kWarmUp) {
            us.push_back(Us(b - a));
        }
    }
    writer.join();
    CloseHandle(wanted);
    CloseHandle(written);
    conversion = SpreadOf(us);
    writeUs.erase(writeUs.begin(), writeUs.begin() + kWarmUp);
    write = SpreadOf(writeUs);
}

} // namespace

Conversion MeasureConversion(bool mono, size_t pixels) {
    const size_t inBytes = mono ? pixels : 3 * pixels;
    const size_t outBytes = 3 * pixels;
    const Convert convert = [&](const uint8_t* in, uint8_t* out) {
        if (mono) {
            trv::ExpandMono8To24(in, out, pixels);
        } else {
            trv::Copy24(in, out, outBytes);
        }
    };
    constexpr int kFrames = 150;
    Conversion c;
    {
        bench::BufferRing ring(inBytes, outBytes, false);
        std::vector<double> us;
        for (int i = -10; i < kFrames; ++i) {
            const int64_t a = Ticks();
            convert(ring.In(0), ring.Out(0));
            bench::KeepStores(ring.Out(0));
            if (i >= 0) {
                us.push_back(Us(Ticks() - a));
            }
        }
        c.hot = SpreadOf(us);
    }
    {
        bench::BufferRing ring(inBytes, outBytes, true);
        std::vector<double> us;
        size_t k = 0;
        for (size_t i = 0; i < std::max<size_t>(kFrames, ring.Count()); ++i) {
            const int64_t a = Ticks();
            convert(ring.In(k), ring.Out(k));
            bench::KeepStores(ring.Out(k));
            const int64_t b = Ticks();
            if (i >= ring.Count() / 2) { // half way round the ring: every page touched
                us.push_back(Us(b - a));
            }
            k = k + 1 == ring.Count() ? 0 : k + 1;
        }
        c.cold = SpreadOf(us);
    }
    Spread unused;
    AsInTheRun(convert, inBytes, outBytes, kFrames, 0, c.asRun, c.write);
    AsInTheRun(convert, inBytes, outBytes, 60, 33, c.paced, unused);
    return c;
}

namespace {

// Microseconds per call of `body`, the median of `batches` batches of `n` calls.
template <class Body> double PerCall(int batches, int n, Body body) {
    std::vector<double> us;
    for (int b = 0; b < batches; ++b) {
        const int64_t start = Ticks();
        for (int i = 0; i < n; ++i) {
            body();
        }
        us.push_back(Us(Ticks() - start) / n);
    }
    return SpreadOf(us).median;
}

LRESULT CALLBACK QuietProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kFrameMessage) {
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

SystemCalls MeasureSystemCalls() {
    SystemCalls s;
    volatile int64_t sink = 0;
    s.counter = PerCall(9, 20000, [&] { sink = sink + Ticks(); });
    s.tickCounts = PerCall(9, 20000, [&] { sink = sink + GetTickCount() + GetTickCount(); });
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    s.section = PerCall(9, 20000, [&] {
        if (TryEnterCriticalSection(&section)) {
            LeaveCriticalSection(&section);
        }
    });
    DeleteCriticalSection(&section);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"TRV_FRAME_PATH_BENCH");
    if (mutex != nullptr) {
        s.namedMutex = PerCall(9, 2000, [&] {
            WaitForSingleObject(mutex, INFINITE);
            ReleaseMutex(mutex);
        });
        CloseHandle(mutex);
    }
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = QuietProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TrvFramePathBench";
    RegisterClassExW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    if (window != nullptr) {
        std::vector<double> post, take;
        for (int b = 0; b < 9; ++b) {
            constexpr int kMessages = 1000;
            int64_t a = Ticks();
            for (int i = 0; i < kMessages; ++i) {
                PostMessageW(window, kFrameMessage, 0, 0);
            }
            post.push_back(Us(Ticks() - a) / kMessages);
            a = Ticks();
            MSG msg;
            for (int i = 0; i < kMessages && GetMessageW(&msg, window, 0, 0) > 0; ++i) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            take.push_back(Us(Ticks() - a) / kMessages);
        }
        s.post = SpreadOf(post).median;
        s.getDispatch = SpreadOf(take).median;
        DestroyWindow(window);
    }
    return s;
}

} // namespace framepath
