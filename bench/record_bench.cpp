// What the session recorder costs: per camera call, per host command and per frame, with
// recording off and on, and the heap allocations of a recorded frame and event. The plug-in's
// code is linked in, the simulated library answers; a camera is started through the
// dispatcher as TrvCmd runs it, with the camera at 1 frame a second so that its own frames
// hardly interfere.
//   record_bench [--trv_md=FILE]
#include "alloc_count.h"
#include "md_option.h"
#include "camera/my_cam.h"
#include "entry/dispatcher.h"
#include "infra/globals.h"
#include "record/record_format.h"
#include "record/recorder.h"
#include "sim_control.h"
#include "ueye/ueye_api.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Now() {
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// Nanoseconds per run of `run`, `batch` runs timed together.
template <class Run> double NanosPer(int batch, Run run) {
    const double start = Now();
    for (int i = 0; i < batch; ++i) {
        run();
    }
    return (Now() - start) * 1e9 / batch;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::wstring gFile;
int gFiles = 0;
size_t gLines = 0; // in the last file

size_t CountLines(const std::wstring& path) {
    size_t n = 0;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) {
            n += c == '\n';
        }
        std::fclose(f);
    }
    return n;
}

// Recording on into a fresh file, or off (the file removed).
void Record(bool on) {
    if (on) {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        gFile = std::wstring(tmp) + L"record_bench" + std::to_wstring(GetCurrentProcessId()) +
                L"_" + std::to_wstring(++gFiles) + L".jsonl";
        RecordStart(gFile.c_str(), "record_bench", nullptr, nullptr, uint64_t{1} << 32, 30);
    } else {
        RecordStop("bench");
        gLines = CountLines(gFile);
        DeleteFileW(gFile.c_str());
    }
}

struct Row {
    const char* what;
    double off, on;    // nanoseconds
    double extra;      // the median of on minus off within one repetition
    double records;    // records written per run
    double base = -1;  // the same without the recorder's code at all, where there is one
    double direct = 0; // for an estimated row: the difference as measured
    bool estimated = false;
};

// Each repetition times every case in turn, with recording off and on, so that other load on
// the machine falls on all of them alike.
template <class Run>
Row Compare(const char* what, int batch, Run run, bool withBase = false, int repetitions = 15) {
    std::vector<double> off, on, extra, base;
    size_t lines = 0;
    for (int r = 0; r < repetitions; ++r) {
        off.push_back(NanosPer(batch, [&] { run(false); }));
        Record(true);
        on.push_back(NanosPer(batch, [&] { run(false); }));
        Record(false);
        extra.push_back(on.back() - off.back());
        lines += gLines - 4; // header, thread, the line naming the file, end
        if (withBase) {
            base.push_back(NanosPer(batch, [&] { run(true); }));
        }
        sim_journal_clear();
    }
    Row row{what, Median(off), Median(on), Median(extra),
            static_cast<double>(lines) / repetitions / batch};
    if (withBase) {
        row.base = Median(base);
    }
    return row;
}

} // namespace

int main(int argc, char** argv) {
    std::string mdPath;
    if (!ParseMdOption(argc, argv, "record_bench", mdPath)) {
        return 2;
    }
    InitializeCommandLock();
    sim_reset();
    sim_set_fps(1);
    const SimCamera camera = sim_camera("4002870123", 1, 2, 1280, 1024);
    sim_add_camera(&camera);
    TrvStartParams start = {};
    start.frameCallback = [](unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {};
    start.pszConfigDir = L"";
    start.nFocusType = 3;
    EnterCriticalSection(&gCmdLock);
    Dispatch(_TRV_DSHOW_CMD_START, reinterpret_cast<intptr_t>(&start));
    LeaveCriticalSection(&gCmdLock);
    const MyCam* cam = CurrentCam();
    if (cam == nullptr || cam->m_hCam == 0) {
        std::fprintf(stderr, "record_bench: no camera started\n");
        return 1;
    }
    const UeyeHandle hCam = cam->m_hCam;

    std::vector<Row> rows;
    rows.push_back(Compare(
        "camera call (is_Binning query)", 2000,
        [hCam](bool raw) {
            if (raw) {
                ueye_raw::is_Binning(hCam, ueye::kQuery);
            } else {
                is_Binning(hCam, ueye::kQuery);
            }
        },
        true));
    TrvTimingParams timing = {};
    rows.push_back(Compare("host command 46, timing query (2 camera calls)", 1000, [&](bool) {
        const intptr_t param = reinterpret_cast<intptr_t>(&timing);
        EnterCriticalSection(&gCmdLock); // as TrvCmd runs a command
        RecordCommand(_TRV_DSHOW_CMD_GET_TIMING, param);
        const bool ok = Dispatch(_TRV_DSHOW_CMD_GET_TIMING, param);
        RecordReturn(_TRV_DSHOW_CMD_GET_TIMING, param, ok ? 1 : 0);
        LeaveCriticalSection(&gCmdLock);
    }));
    TrvAoiParams aoi = {1, 0, 0, 0, 640, 480};
    rows.push_back(Compare(
        "host command 45, area of interest set (about 30 camera calls and 20 "
        "log lines)",
        10,
        [&](bool) {
            aoi.nMode = 1;
            aoi.width = aoi.width == 640 ? 800 : 640; // a change each time
            const intptr_t param = reinterpret_cast<intptr_t>(&aoi);
            EnterCriticalSection(&gCmdLock);
            RecordCommand(_TRV_DSHOW_CMD_AOI, param);
            const bool ok = Dispatch(_TRV_DSHOW_CMD_AOI, param);
            RecordReturn(_TRV_DSHOW_CMD_AOI, param, ok ? 1 : 0);
            LeaveCriticalSection(&gCmdLock);
        },
        false, 41));
    std::vector<unsigned char> frame(1280 * 1024 * 3, 0x5a);
    const int32_t size = static_cast<int32_t>(frame.size());
    rows.push_back(
        Compare("frame event and frame, 1280 x 1024, a thumbnail every 30th", 3000, [&](bool) {
            RecordEvent(IS_UEYE_MESSAGE, 0, hCam);
            RecordFrame(frame.data(), 1280, 1024, size);
        }));

    uint8_t thumb[trv::rec::kThumbBytes];
    std::vector<double> thumbs;
    for (int r = 0; r < 15; ++r) {
        thumbs.push_back(
            NanosPer(300, [&] { trv::rec::MakeThumbnail(frame.data(), 1280, 1024, size, thumb); }));
    }

    // Heap allocations on the camera thread's path, after the first record of the thread.
    alloccount::ResolveTargets();
    alloccount::PatchAllModules();
    Record(true);
    RecordFrame(frame.data(), 1280, 1024, size);
    const alloccount::Counts counts = alloccount::Measure([&] {
        for (int i = 0; i < 300; ++i) {
            RecordEvent(IS_UEYE_MESSAGE, 0, hCam);
            RecordFrame(frame.data(), 1280, 1024, size);
        }
    });
    Record(false);

    std::string md =
        "\n### Session recorder (Windows build under Wine)\n\n"
        "The plug-in's code linked into `record_bench` (bench/record_bench.cpp) "
        "against the simulated library, one camera started; medians of 15 repetitions (41 for "
        "the area of interest), each timing a batch of the case with recording off, "
        "then on (records written to a file in the temporary folder). \"Extra\" is "
        "the median of the differences within a repetition; \"without the recorder\" "
        "calls the library's import directly, as the plug-in did before the "
        "recorder. The share is the extra time per second at the rate given, of one "
        "core.\n\n"
        "| Case | without the recorder | recording off | recording on | records per case "
        "| extra when on | extra / time off | share of a second, on |\n"
        "|---|---:|---:|---:|---:|---:|---:|---:|\n";
    char line[512];
    // The area-of-interest set takes milliseconds whose spread on a shared machine is larger
    // than the recorder's share: its extra is its records times the cost of a record of the
    // timing query, and the direct difference is shown beside it.
    rows[2].direct = rows[2].extra;
    rows[2].extra = rows[2].records * rows[1].extra / rows[1].records;
    rows[2].estimated = true;
    double rates[4] = {1000, 1000, 1000, 200};        // calls, commands, frames a second
    rates[2] = std::min(rates[2], 1e9 / rows[2].off); // as fast as it can run, if slower
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        char base[32] = "n/a";
        if (r.base >= 0) {
            std::snprintf(base, sizeof base, "%.2f us", r.base / 1000);
        }
        char relative[32] = "n/a"; // the frame path itself is not timed here
        if (r.off >= 100) {
            std::snprintf(relative, sizeof relative, "%.1f %%", r.extra / r.off * 100);
        }
        char extra[96];
        std::snprintf(extra, sizeof extra, "%.2f us", r.extra / 1000);
        if (r.estimated) {
            std::snprintf(extra, sizeof extra, "about %.0f us (measured: %.0f us)", r.extra / 1000,
                          r.direct / 1000);
        }
        std::snprintf(line, sizeof line,
                      "| %s | %s | %.2f us | %.2f us | %.1f | %s | %s | %.2f %% at %.0f a "
                      "second |\n",
                      r.what, base, r.off / 1000, r.on / 1000, r.records, extra, relative,
                      r.extra * rates[i] / 1e9 * 100, rates[i]);
        md += line;
    }
    auto share = [&](size_t i) { return rows[i].extra * rates[i] / 1e9 * 100; };
    std::snprintf(
        line, sizeof line,
        "\nTargets, recording on: at 1,000 timing queries a second the recorder takes "
        "%.2f %% of a second (under 5 %%: %s); at 200 frames a second %.2f %% (under "
        "5 %%: %s). An area-of-interest set takes about %.1f %% longer (its %.0f records at "
        "the cost of a record of the timing query; the direct difference lies within "
        "the spread of a command of %.1f ms here); it cannot run 1,000 times a second, "
        "so its share stays at that figure at most.\n",
        share(1), share(1) < 5 ? "met" : "not met", share(3), share(3) < 5 ? "met" : "not met",
        rows[2].extra / rows[2].off * 100, rows[2].records, rows[2].off / 1e6);
    md += line;
    std::snprintf(line, sizeof line,
                  "\nOf the frame's cost, the 16 x 12 thumbnail of a 1280 x 1024 frame takes "
                  "%.2f us (made on every 30th frame). ",
                  Median(thumbs) / 1000);
    md += line;
    std::snprintf(line, sizeof line,
                  "Heap allocations while 300 frame events and frames were recorded (after "
                  "the thread's first record, which makes its own line buffer): %ld.\n",
                  counts.Total());
    md += line;
    std::fputs(md.c_str(), stdout);
    if (!mdPath.empty()) {
        if (FILE* out = std::fopen(mdPath.c_str(), "w")) {
            std::fputs(md.c_str(), out);
            std::fclose(out);
        }
    }
    return counts.Total() == 0 ? 0 : 1;
}
