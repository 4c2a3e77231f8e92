// A child process of the frame benchmark: one simulated camera behind the real plug-in, every
// phase (rising rates, a slow host, timing queries, a backlog), its tables and values written
// to a file for the parent.
#include "frame_path.h"
#include "host_settings.h"
#include "infra/trv_params.h"
#include "sim_control.h"

#include <cmath>
#include <cstring>
#include <map>
#include <thread>

namespace framepath {
namespace {

class Report {
  public:
    void Line(const std::string& s) { m_text += s + "\n"; }
    void Value(const std::string& key, double v) { m_text += "@" + key + " " + Num(v, 3) + "\n"; }
    const std::string& Text() const { return m_text; }

  private:
    std::string m_text;
};

void SweepTable(const Camera& cam, Report& r, std::vector<double>& lowRateWork) {
    r.Line("");
    r.Line("#### Rising frame rates, a host callback that returns at once");
    r.Line("");
    r.Line("| fps asked | posted per s | posted | callbacks | frames never delivered | "
           "repeated frames | dropped under the lock | newer pixels than event | torn | "
           "queue max / at stop | queue grows | post to window procedure median / p99 (us) | "
           "delay median / p99 (us) | event age median / p99 (us) | plug-in work median / "
           "p99 (us) |");
    r.Line("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|---:|---:|---:|---:|");
    double highestClean = NAN;
    double highestKeptUp = NAN;
    double simShort = NAN;  // the first rate the simulator did not reach
    double firstLoss = NAN; // the first rate at which a frame was never delivered
    std::map<double, uint32_t> torn;
    int brokenInARow = 0;
    for (double fps : kRates) {
        const Phase p = RunPhase(cam, {fps, kSweepSeconds, HostKind::Quick, Queries::None});
        const Figures f = Analyse(p);
        std::printf("%6.0f fps: posted %u (%.0f/s), callbacks %u, never delivered %u, queue max "
                    "%.0f%s, delay median %s us\n",
                    fps, f.posted, f.postedPerSecond, f.callbacks, f.neverDelivered, f.queueMax,
                    f.grows ? " growing" : "", Num(f.delay.median).c_str());
        std::fflush(stdout);
        r.Line(Format("| %.0f | %s | %u | %u | %u | %u | %u | %u | %u | %.0f / %u | %s | %s | %s "
                      "| %s | %s |",
                      fps, Num(f.postedPerSecond).c_str(), f.posted, f.callbacks, f.neverDelivered,
                      f.repeats, f.droppedUnderLock, f.newerThanEvent, f.torn, f.queueMax,
                      f.queuedAtStop, f.grows ? "**yes**" : "no", MedianP99(f.wake).c_str(),
                      MedianP99(f.delay).c_str(), MedianP99(f.age).c_str(),
                      MedianP99(f.work).c_str()));
        if (fps <= 120) {
            lowRateWork.insert(lowRateWork.end(), f.workSample.begin(), f.workSample.end());
        }
        r.Value(Format("sweep_delay_median_%.0f", fps), f.delay.median);
        r.Value(Format("sweep_delay_p99_%.0f", fps), f.delay.p99);
        r.Value(Format("sweep_work_median_%.0f", fps), f.work.median);
        if (std::isnan(simShort) && !(f.postedPerSecond >= 0.97 * fps)) {
            simShort = fps;
            r.Value("sim_reached_at_short", f.postedPerSecond);
        }
        if (Clean(f) && p.drained) {
            highestClean = fps;
        }
        if (std::isnan(firstLoss) && f.neverDelivered > 0) {
            firstLoss = fps;
        }
        torn[fps] = f.torn;
        if (!Broken(f) && p.drained) {
            highestKeptUp = fps;
            brokenInARow = 0;
        } else if (++brokenInARow == 2) {
            break;
        }
    }
    r.Value("highest_clean_fps", highestClean);
    r.Value("first_loss_fps", firstLoss);
    uint32_t tornUpToKeptUp = 0;
    for (const auto& [rate, n] : torn) {
        tornUpToKeptUp += rate <= highestKeptUp ? n : 0;
    }
    r.Value("torn_up_to_kept_up", tornUpToKeptUp);
    r.Value("highest_kept_up_fps", highestKeptUp);
    r.Value("sim_short_fps", simShort);
}

// Per second of the run: callbacks, delays and the queue at the end of that second.
void SecondsTable(Report& r, const Phase& plain, const Phase& coalesced) {
    r.Line("");
    r.Line("| second | callbacks | delay median (us) | event age median (us) | queue at its end "
           "| callbacks, coalesced | delay median, coalesced (us) | event age median, "
           "coalesced (us) | queue at its end, coalesced |");
    r.Line("|---:|---:|---:|---:|---:|---:|---:|---:|---:|");
    struct Bucket {
        int callbacks = 0;
        std::vector<double> delay, age;
        double queue = NAN;
    };
    auto buckets = [](const Phase& p) {
        std::map<int, Bucket> b;
        for (size_t k = kSettleEvents; k < p.events.size(); ++k) {
            const Event& e = p.events[k];
            if (e.coalesced || e.callback == 0 || e.badSize || e.enter >= p.stop) {
                continue;
            }
            Bucket& bucket = b[static_cast<int>(Us(e.callback - p.start) / 1e6)];
            ++bucket.callbacks;
            const int64_t post = PostUs(p, e.pixelFrame);
            if (post >= 0) {
                bucket.delay.push_back(static_cast<double>(UsOf(e.callback) - post));
            }
            const int64_t eventPost = PostUs(p, p.firstFrame + e.own);
            if (eventPost >= 0) {
                bucket.age.push_back(static_cast<double>(UsOf(e.callback) - eventPost));
            }
        }
        for (const Sample& s : p.queue) {
            b[static_cast<int>(Us(s.at - p.start) / 1e6)].queue = s.depth;
        }
        return b;
    };
    const std::map<int, Bucket> a = buckets(plain);
    const std::map<int, Bucket> c = buckets(coalesced);
    const int seconds = static_cast<int>(std::ceil(plain.plan.seconds));
    for (int s = 0; s < seconds; ++s) {
        std::string row = Format("| %d to %d", s, s + 1);
        for (const auto* m : {&a, &c}) {
            auto it = m->find(s);
            if (it == m->end()) {
                row += " | 0 | n/a | n/a | n/a";
                continue;
            }
            row +=
                Format(" | %d | %s | %s | %s", it->second.callbacks,
                       Num(SpreadOf(it->second.delay).median).c_str(),
                       Num(SpreadOf(it->second.age).median).c_str(), Num(it->second.queue).c_str());
        }
        r.Line(row + " |");
    }
}

void SlowHostTable(const Camera& cam, Report& r) {
    const Phase plain = RunPhase(cam, {kSlowFps, kSlowSeconds, HostKind::Slow, Queries::None});
    const Phase coalesced =
        RunPhase(cam, {kSlowFps, kSlowSeconds, HostKind::SlowCoalesced, Queries::None});
    const Figures fp = Analyse(plain);
    const Figures fc = Analyse(coalesced);
    std::printf("slow host: queued at stop %u (coalesced %u), event age p99 %s us (coalesced "
                "%s us)\n",
                fp.queuedAtStop, fc.queuedAtStop, Num(fp.age.p99).c_str(), Num(fc.age.p99).c_str());
    std::fflush(stdout);
    r.Line("");
    r.Line(Format("#### A slow host: the callback busy-waits twice the frame period, %.0f fps, "
                  "%.0f s",
                  kSlowFps, kSlowSeconds));
    r.Line("");
    r.Line("\"Coalesced\" is the same run with the bench's window hook taking the frame events "
           "already queued behind the one in hand, so that the plug-in handles only the "
           "newest, on top of the plug-in's own skipping of them. After the stop the "
           "host is quick again while the queue empties.");
    r.Line("");
    r.Line(
        "| host | posted | callbacks | events skipped (a newer frame queued next) | frames never "
        "delivered | events queued at stop | callbacks after the camera stopped (distinct "
        "frames) | delay median / p99 (us) | event age median / p99 (us) | callback median "
        "(us) |");
    r.Line("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|");
    for (const auto& [name, f] : {std::pair<const char*, const Figures&>{"slow", fp},
                                  std::pair<const char*, const Figures&>{"slow, coalesced", fc}}) {
        r.Line(Format("| %s | %u | %u | %u | %u | %u | %u (%u) | %s | %s | %s |", name, f.posted,
                      f.callbacks, f.skipped, f.neverDelivered, f.queuedAtStop,
                      f.callbacksAfterStop, f.distinctAfterStop, MedianP99(f.delay).c_str(),
                      MedianP99(f.age).c_str(), Num(f.runtime.median).c_str()));
    }
    SecondsTable(r, plain, coalesced);
    r.Value("slow_queued_at_stop", fp.queuedAtStop);
    r.Value("slow_after_stop", fp.callbacksAfterStop);
    r.Value("slow_after_stop_distinct", fp.distinctAfterStop);
    r.Value("slow_age_p99", fp.age.p99);
    r.Value("slow_delay_p99", fp.delay.p99);
    r.Value("slow_grows", fp.grows ? 1 : 0);
    r.Value("coalesced_queued_at_stop", fc.queuedAtStop);
    r.Value("coalesced_age_p99", fc.age.p99);
    r.Value("coalesced_delay_p99", fc.delay.p99);
    r.Value("coalesced_grows", fc.grows ? 1 : 0);
}

// Timing queries with the camera stopped: what a query costs when no frame is being written.
Spread QueriesAlone(const Camera& cam) {
    QueryStats stats;
    std::atomic<bool> stop{false};
    std::thread queries(QueryLoop, cam.cmd, true, 30.0, std::cref(stop), std::ref(stats));
    Sleep(500);
    stop = true;
    queries.join();
    return SpreadOf(stats.us);
}

std::string QueryRow(const Camera& cam, Report& r, double fps, Queries kind) {
    const Phase p = RunPhase(cam, {fps, kQuerySeconds, HostKind::Quick, kind});
    const Figures f = Analyse(p);
    const Spread q = SpreadOf(p.queries.us);
    double held = 0;
    for (double us : p.queries.us) {
        held += us;
    }
    const double share = p.queries.seconds > 0 ? held / 1e6 / p.queries.seconds : NAN;
    const char* loop = kind == Queries::Tight ? "tight" : "paced";
    std::printf("queries %s at %.0f fps: %llu queries, %u of %u events dropped\n", loop, fps,
                static_cast<unsigned long long>(p.queries.count), f.droppedUnderLock, f.taken);
    std::fflush(stdout);
    const std::string key = Format("queries_%s_%.0f_", loop, fps);
    r.Value(key + "events", f.taken);
    r.Value(key + "dropped", f.droppedUnderLock);
    r.Value(key + "share", share);
    r.Value(key + "p99", q.p99);
    const std::string wrong =
        p.queries.wrongAnswers != 0
            ? Format(" (%llu wrong)", static_cast<unsigned long long>(p.queries.wrongAnswers))
            : "";
    return Format(
        "| %.0f | %s | %llu%s | %.0f | %s / %s | %s | %u | %u | %u | %u | %s | %s |", fps, loop,
        static_cast<unsigned long long>(p.queries.count), wrong.c_str(),
        p.queries.seconds > 0 ? static_cast<double>(p.queries.count) / p.queries.seconds : NAN,
        MedianP99(q).c_str(), Num(q.max).c_str(),
        std::isnan(share) ? "n/a" : Num(100 * share, 1).c_str(), f.taken, f.droppedUnderLock,
        f.callbacks, f.neverDelivered, f.grows ? "**yes**" : "no", MedianP99(f.delay).c_str());
}

void QueryTable(const Camera& cam, Report& r, bool tightToo) {
    const Spread alone = QueriesAlone(cam);
    r.Value("queries_alone_median", alone.median);
    r.Value("queries_alone_p99", alone.p99);
    r.Value("queries_alone_max", alone.max);
    r.Line("");
    r.Line(Format("#### Timing queries (TrvCmd 46) from a host thread meanwhile, %.0f s each",
                  kQuerySeconds));
    r.Line("");
    r.Line(Format("A running command holds the command lock; a frame event that finds it taken "
                  "is dropped (\"dropped under the lock\"). Tight: one query after the other; "
                  "paced: Sleep(1) between queries. \"Lock held\" is the time spent inside the "
                  "queries, as a share of the run. With the camera stopped a paced query takes "
                  "%s us (median), %s us (99th percentile), %s us at most.",
                  Num(alone.median, 1).c_str(), Num(alone.p99, 1).c_str(),
                  Num(alone.max, 1).c_str()));
    r.Line("");
    r.Line("| fps | loop | queries | queries per s | query time median / p99 / max (us) | lock "
           "held (%) | frame events | dropped under the lock | callbacks | frames never "
           "delivered | queue grows | delay median / p99 (us) |");
    r.Line("|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---|---:|");
    if (tightToo) {
        for (double fps : kQueryTightFps) {
            r.Line(QueryRow(cam, r, fps, Queries::Tight));
        }
    }
    r.Line(QueryRow(cam, r, kQueryPacedFps, Queries::Paced));
}

// Events queued behind a host that paused once, then taken back to back: the camera thread's
// message loop per event, and the plug-in's work with the conversion's data warm.
void BacklogValues(const Camera& cam, Report& r, double fps) {
    const Phase p = RunPhase(cam, {fps, 1.0, HostKind::PauseOnce, Queries::None});
    const Figures f = Analyse(p);
    std::vector<double> work;
    for (size_t k = kSettleEvents; k + 1 < p.events.size(); ++k) {
        const Event& e = p.events[k];
        const int64_t nextPost = PostUs(p, p.firstFrame + e.own + 1);
        if (e.callback != 0 && nextPost >= 0 && nextPost < UsOf(e.exit)) {
            work.push_back(Us(e.exit - e.enter) - Us(e.callbackEnd - e.callback));
        }
    }
    const Spread w = SpreadOf(work);
    std::printf("backlog at %.0f fps: %zu events back to back, loop %s us, work %s us\n", fps,
                f.gap.n, Num(f.gap.median, 1).c_str(), Num(w.median).c_str());
    std::fflush(stdout);
    r.Value("loop_median", f.gap.median);
    r.Value("loop_p99", f.gap.p99);
    r.Value("loop_n", static_cast<double>(f.gap.n));
    r.Value("backlog_work_median", w.median);
    r.Value("backlog_work_n", static_cast<double>(w.n));
}

} // namespace

int RunChild(const CameraKind& kind, const std::wstring& outPath) {
    trvtest::HostSettings settings;
    sim_reset();
    const SimCamera description =
        sim_camera("4002870123", 1, kind.colorKind, static_cast<uint32_t>(kind.width),
                   static_cast<uint32_t>(kind.height));
    Camera cam;
    cam.index = sim_add_camera(&description);
    sim_configure(cam.index, "fps", "30");
    ExpectFrames(kind.colorKind != 2,
                 static_cast<size_t>(kind.width) * static_cast<size_t>(kind.height));

    HMODULE plugin = LoadLibraryW((OwnFolder() + L"trvueye.dll").c_str());
    if (plugin == nullptr) {
        std::fprintf(stderr, "frame_path_bench: cannot load trvueye.dll (error %lu)\n",
                     GetLastError());
        return 1;
    }
    cam.cmd = reinterpret_cast<TrvCmdFn>(
        reinterpret_cast<void*>(GetProcAddress(plugin, MAKEINTRESOURCEA(1))));
    if (cam.cmd == nullptr) {
        std::fprintf(stderr, "frame_path_bench: trvueye.dll has no ordinal 1\n");
        return 1;
    }
    cam.cmd(_TRV_DSHOW_CMD_LOAD, 0);
    cam.cmd(_TRV_DSHOW_CMD_OPEN, 0);
    TrvStartParams start = {};
    start.nSizeX = -1;
    start.nSizeY = -1;
    start.frameCallback = &OnFrame;
    start.errorCallback = &OnError;
    start.pszConfigDir = settings.configDir.c_str();
    start.nFocusType = 3;
    cam.cmd(_TRV_DSHOW_CMD_START, reinterpret_cast<intptr_t>(&start));
    if (start.nSizeX != kind.width || start.nSizeY != kind.height) {
        std::fprintf(stderr, "frame_path_bench: START reported %d x %d, not %d x %d\n",
                     start.nSizeX, start.nSizeY, kind.width, kind.height);
        return 1;
    }
    cam.window = FindWindowW(L"MyCamWindowClass", nullptr);
    DWORD pid = 0;
    if (cam.window == nullptr || GetWindowThreadProcessId(cam.window, &pid) == 0 ||
        pid != GetCurrentProcessId()) {
        std::fprintf(stderr, "frame_path_bench: no camera window of this process\n");
        return 1;
    }
    sim_configure(cam.index, "stalled", "1");
    if (!WatchWindow(cam.window)) {
        std::fprintf(stderr, "frame_path_bench: the camera window does not take messages\n");
        return 1;
    }
    // Frame buffers are allocated on the first frame: not part of any figure.
    RunPhase(cam, {30, 0.5, HostKind::Quick, Queries::None});

    Report r;
    r.Line("");
    r.Line(std::string("### ") + kind.title);
    std::printf("frame_path_bench: %s\n", kind.title);
    const bool tiny = std::strcmp(kind.name, "tiny") == 0;
    if (tiny) {
        const Figures f = Analyse(RunPhase(cam, {100, 2.0, HostKind::Quick, Queries::None}));
        r.Value("work_median", f.work.median);
        r.Value("work_p99", f.work.p99);
        r.Value("work_n", static_cast<double>(f.work.n));
        r.Value("wake_median", f.wake.median);
        BacklogValues(cam, r, 1000);
        QueryTable(cam, r, false);
    } else {
        std::vector<double> lowRateWork;
        SweepTable(cam, r, lowRateWork);
        SlowHostTable(cam, r);
        QueryTable(cam, r, true);
        BacklogValues(cam, r, 120);
        const Spread work = SpreadOf(lowRateWork);
        r.Value("work_median", work.median);
        r.Value("work_p99", work.p99);
        r.Value("work_n", static_cast<double>(work.n));
    }
    cam.cmd(_TRV_DSHOW_CMD_STOP, 0);
    cam.cmd(_TRV_DSHOW_CMD_CLOSE, 0);
    cam.cmd(_TRV_DSHOW_CMD_UNLOAD, 0);

    std::FILE* out = _wfopen(outPath.c_str(), L"wb");
    bool written =
        out != nullptr && std::fwrite(r.Text().data(), 1, r.Text().size(), out) == r.Text().size();
    if (out != nullptr) {
        written = std::fclose(out) == 0 && written;
    }
    std::fflush(stdout);
    // The plug-in's camera thread runs until the process ends.
    ExitProcess(written ? 0 : 1);
}

} // namespace framepath
