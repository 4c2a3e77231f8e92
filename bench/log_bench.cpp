// Lines per second through gLog, with no viewer (the buffer soon full, each further line
// dropped) and with a viewer thread draining it the way the host's viewer does.
//   log_bench [--trv_md=FILE] [--seconds=S]
#include "infra/trv_log.h"
#include "log_line.h"
#include "log_reader.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Empties the shared text without opening a viewer window.
void ClearSharedLog() {
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 10000,
                                        L"TRV_LOG_MAPNAME");
    if (mapping == nullptr) {
        return;
    }
    if (auto* view = static_cast<wchar_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0))) {
        view[0] = 0;
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
}

struct Outcome {
    uint64_t lines = 0;
    double seconds = 0;
    uint64_t received = 0; // lines the viewer read
};

Outcome WriteFor(double seconds) {
    Outcome o;
    const Clock::time_point start = Clock::now();
    const auto limit = std::chrono::duration<double>(seconds);
    while (Clock::now() - start < limit) {
        for (int i = 0; i < 16; ++i) {
            bench::WriteLogLine(static_cast<uint32_t>(o.lines++ % 10000));
        }
    }
    o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return o;
}

// The viewer: its own thread owns the "Tarvello Log" window, waits for the event, drains.
class Viewer {
  public:
    Viewer() {
        m_thread = std::thread([this] {
            LogReader reader;
            m_ok = reader.ok();
            m_ready = true;
            while (!m_stop) {
                reader.WaitForLine(20);
                Count(reader.Drain());
            }
            Count(reader.Drain());
        });
        while (!m_ready) {
            Sleep(1);
        }
    }
    ~Viewer() { Stop(); }
    bool ok() const { return m_ok; }
    uint64_t Stop() {
        if (m_thread.joinable()) {
            m_stop = true;
            m_thread.join();
        }
        return m_lines;
    }

  private:
    void Count(const std::wstring& text) {
        for (wchar_t c : text) {
            m_lines += c == L'\n' ? 1 : 0;
        }
    }
    std::thread m_thread;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ok{false};
    uint64_t m_lines = 0;
};

// Microseconds per call of each system call a log piece makes, to show where the time goes.
struct CallCosts {
    double findWindow = 0;
    double mutexRoundTrip = 0;
    double setEvent = 0;
};

template <class Call> double MicrosPerCall(Call call) {
    constexpr int kCalls = 2000;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kCalls; ++i) {
        call();
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kCalls;
}

CallCosts MeasureCalls() {
    CallCosts c;
    c.findWindow = MicrosPerCall([] { FindWindowW(nullptr, L"Tarvello Log"); });
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"TRV_LOG_MAPLOCKNAME");
    c.mutexRoundTrip = MicrosPerCall([mutex] {
        WaitForSingleObject(mutex, 5000);
        ReleaseMutex(mutex);
    });
    CloseHandle(mutex);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    c.setEvent = MicrosPerCall([event] { SetEvent(event); });
    CloseHandle(event);
    return c;
}

} // namespace

int main(int argc, char** argv) {
    std::string mdPath;
    double seconds = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--trv_md=", 9) == 0) {
            mdPath = argv[i] + 9;
        } else if (std::strncmp(argv[i], "--seconds=", 10) == 0) {
            seconds = std::atof(argv[i] + 10);
        } else {
            std::fprintf(stderr, "usage: log_bench [--trv_md=FILE] [--seconds=S]\n");
            return 2;
        }
    }
    // First use opens the handles; not part of either figure.
    ClearSharedLog();
    bench::WriteLogLine(0);

    ClearSharedLog();
    const Outcome alone = WriteFor(seconds);

    ClearSharedLog();
    Outcome drained;
    {
        Viewer viewer;
        if (!viewer.ok()) {
            std::fprintf(stderr, "log_bench: the viewer cannot open the shared log\n");
            return 1;
        }
        drained = WriteFor(seconds);
        Sleep(200); // let the viewer take the last lines
        drained.received = viewer.Stop();
    }

    const CallCosts calls = MeasureCalls();
    const double aloneRate = static_cast<double>(alone.lines) / alone.seconds;
    const double drainedRate = static_cast<double>(drained.lines) / drained.seconds;
    std::printf("no viewer:       %.0f lines/s (%llu lines in %.2f s)\n", aloneRate,
                static_cast<unsigned long long>(alone.lines), alone.seconds);
    std::printf("viewer draining: %.0f lines/s (%llu lines in %.2f s), viewer read %llu\n",
                drainedRate, static_cast<unsigned long long>(drained.lines), drained.seconds,
                static_cast<unsigned long long>(drained.received));
    std::printf("per call: FindWindowW %.1f us, mutex wait+release %.1f us, SetEvent %.1f us\n",
                calls.findWindow, calls.mutexRoundTrip, calls.setEvent);
    if (!mdPath.empty()) {
        std::FILE* out = std::fopen(mdPath.c_str(), "w");
        if (out == nullptr) {
            std::perror(mdPath.c_str());
            return 1;
        }
        std::fprintf(out,
                     "\n### Log path through gLog (Windows build under Wine)\n\n"
                     "One line = %d pieces (narrow and wide text, an integer, an unsigned, a "
                     "double with \"%%.12g\", the closing \"\\n\"), about 70 characters, written "
                     "as fast as one thread can for %.1f s.\n\n"
                     "| Case | lines per second | microseconds per line | lines the viewer read |\n"
                     "|---|---:|---:|---:|\n"
                     "| no viewer: the buffer fills after about 70 lines, each further line is "
                     "dropped | %.0f | %.2f | n/a |\n"
                     "| a viewer thread waits on the event and drains | %.0f | %.2f | %llu of %llu "
                     "(%.1f %%) |\n",
                     bench::kPiecesPerLine, seconds, aloneRate, 1e6 / aloneRate, drainedRate,
                     1e6 / drainedRate, static_cast<unsigned long long>(drained.received),
                     static_cast<unsigned long long>(drained.lines),
                     drained.lines == 0 ? 0.0
                                        : 100.0 * static_cast<double>(drained.received) /
                                              static_cast<double>(drained.lines));
        std::fprintf(out,
                     "\nWhere the time goes: every piece calls FindWindowW and takes and leaves "
                     "the named mutex; the piece with the line feed also sets the event when a "
                     "viewer is open. Measured here, microseconds per call: FindWindowW %.1f, "
                     "mutex wait and release %.1f, SetEvent %.1f. Under Wine each of these is a "
                     "round trip to the Wine server, so these figures say more about Wine than "
                     "about Windows.\n",
                     calls.findWindow, calls.mutexRoundTrip, calls.setEvent);
        std::fclose(out);
    }
    return 0;
}
