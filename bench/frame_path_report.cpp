// The report of the frame benchmark: how it measures, the tables of each camera, and what
// the figures say.
#include "frame_path.h"

#include <cmath>

namespace framepath {
namespace {

std::string Pct(double part, double whole) {
    if (std::isnan(part) || std::isnan(whole) || whole <= 0) {
        return "n/a";
    }
    return Format("%.1f %%", 100.0 * part / whole);
}

} // namespace

void WriteReport(std::FILE* out, const ChildResult& mono, const ChildResult& colour,
                 const ChildResult& tiny, const Conversion& convMono, const Conversion& convColour,
                 const SystemCalls& calls) {
    std::fprintf(out, "\n## End-to-end frame path (Windows build under Wine)\n\n");
    std::fprintf(
        out,
        "`bench/frame_path_bench.cpp` loads the real `trvueye.dll` by path like a host (LOAD, "
        "OPEN, START, ordinal 1) with the simulated camera library, one process per camera "
        "(the plug-in keeps its camera thread for the life of a process). It replaces the "
        "camera window's procedure by one that times each frame event around the plug-in's "
        "own procedure and counts the events taken; the host callback notes the performance "
        "counter on entry and reads the frame number from the delivered pixels (bytes 0, 3, 6, "
        "9 for mono, 0 to 3 for colour) and four samples further on. Times are microseconds "
        "of the performance counter, computed as the simulator computes its post times "
        "(`sim_post_time_us`).\n\n");
    std::fprintf(
        out,
        "- **delay**: from the post of the frame the pixels hold to the callback. **event "
        "age**: from the post of the frame whose event the plug-in is handling (the n-th event "
        "taken in a phase belongs to the n-th frame posted) to the callback. **post to window "
        "procedure**: from that post until the plug-in's procedure is called. The plug-in has "
        "one image memory, which the camera overwrites at each frame, so when events wait in "
        "the queue the pixels are newer than the event: the delay stays small while the event "
        "age grows.\n"
        "- **frames never delivered**: frames posted whose number no callback's pixels held. "
        "**repeated frames**: callbacks with a frame an earlier callback already had. "
        "**dropped under the lock**: events the plug-in took without calling back (a command "
        "held the command lock); events it skipped because a newer frame of the camera was "
        "queued next are not among them. **torn**: callbacks whose samples further on hold another "
        "frame's pattern than the first bytes (the camera wrote the memory while the plug-in "
        "read it).\n"
        "- **queue**: frames posted minus frame events taken, sampled every 5 ms; it **grows** "
        "when the last quarter of the run averages more than 2 events above the first "
        "quarter. **posted per s** is the rate the simulator reached.\n"
        "- **plug-in work**: the plug-in's window procedure for one frame event minus the "
        "time inside the host callback (conversion, locks, bookkeeping).\n"
        "- Each phase starts with the camera stopped and the queue empty (the bench posts a "
        "marker message and waits for it); the first %zu events of a phase are not timed. A "
        "rising-rate phase lasts %.1f s (less above %.0f fps, so that the simulator still "
        "knows every post time); the sweep ends after two rates in a row at which the queue "
        "grows or a tenth of the frames is lost.\n\n",
        kSettleEvents, kSweepSeconds, kMostFramesPerPhase / kSweepSeconds);

    auto both = [&](const std::string& label, const std::string& a, const std::string& b) {
        std::fprintf(out, "| %s | %s | %s |\n", label.c_str(), a.c_str(), b.c_str());
    };
    auto fps = [](double v) { return std::isnan(v) ? std::string("none") : Num(v) + " fps"; };
    auto pair = [](double a, double b) { return Num(a) + " / " + Num(b); };
    std::fprintf(out, "### Summary\n\n| | mono | colour |\n|---|---:|---:|\n");
    both("highest rate with no frame skipped and no queue growth",
         fps(mono.Get("highest_clean_fps")), fps(colour.Get("highest_clean_fps")));
    both("highest rate the camera thread kept up with (queue not growing, under a tenth of "
         "the frames lost)",
         fps(mono.Get("highest_kept_up_fps")), fps(colour.Get("highest_kept_up_fps")));
    both("lowest rate at which a frame was never delivered (no command running)",
         fps(mono.Get("first_loss_fps")), fps(colour.Get("first_loss_fps")));
    both("torn frames delivered at the rates kept up with (no command running)",
         Num(mono.Get("torn_up_to_kept_up")), Num(colour.Get("torn_up_to_kept_up")));
    auto simShort = [&](const ChildResult& c) {
        const double at = c.Get("sim_short_fps");
        return std::isnan(at) ? std::string("every rate tried")
                              : Format("short from %.0f fps (%s posted per s)", at,
                                       Num(c.Get("sim_reached_at_short")).c_str());
    };
    both("rates the simulator reached (at least 97 % of the rate asked)", simShort(mono),
         simShort(colour));
    both("delay at 30 fps, median / p99 (us)",
         pair(mono.Get("sweep_delay_median_30"), mono.Get("sweep_delay_p99_30")),
         pair(colour.Get("sweep_delay_median_30"), colour.Get("sweep_delay_p99_30")));
    both(Format("slow host at %.0f fps: events queued after %.0f s", kSlowFps, kSlowSeconds),
         Num(mono.Get("slow_queued_at_stop")), Num(colour.Get("slow_queued_at_stop")));
    both("slow host: event age p99 (us)", Num(mono.Get("slow_age_p99")),
         Num(colour.Get("slow_age_p99")));
    both("slow host: callbacks after the camera stopped",
         Num(mono.Get("slow_after_stop")) + " (" + Num(mono.Get("slow_after_stop_distinct")) +
             " distinct frame)",
         Num(colour.Get("slow_after_stop")) + " (" + Num(colour.Get("slow_after_stop_distinct")) +
             " distinct frame)");
    both("slow host, queued events coalesced: queued at stop / event age p99 (us)",
         pair(mono.Get("coalesced_queued_at_stop"), mono.Get("coalesced_age_p99")),
         pair(colour.Get("coalesced_queued_at_stop"), colour.Get("coalesced_age_p99")));
    auto dropped = [&](const ChildResult& c, const std::string& key) {
        return Num(c.Get(key + "dropped")) + " of " + Num(c.Get(key + "events")) + " (" +
               Pct(c.Get(key + "dropped"), c.Get(key + "events")) + ")";
    };
    for (double f : kQueryTightFps) {
        const std::string key = Format("queries_tight_%.0f_", f);
        both(Format("timing queries in a tight loop at %.0f fps: events dropped under the lock", f),
             dropped(mono, key), dropped(colour, key));
    }
    const std::string paced = Format("queries_paced_%.0f_", kQueryPacedFps);
    both(Format("paced timing queries at %.0f fps: events dropped under the lock", kQueryPacedFps),
         dropped(mono, paced), dropped(colour, paced));

    // The cost per frame beyond the conversion.
    const double direct = tiny.Get("work_median") + tiny.Get("loop_median");
    auto verdict = [](double beyond, double conversion) {
        if (std::isnan(beyond) || std::isnan(conversion) || conversion <= 0) {
            return std::string("n/a");
        }
        return Pct(beyond, conversion) +
               (beyond < 0.1 * conversion ? ": **met**" : ": **not met**");
    };
    both("plug-in cost per frame beyond the conversion, share of the conversion as in the run "
         "(target < 10 %)",
         verdict(direct, convMono.paced.median), verdict(direct, convColour.paced.median));

    std::fprintf(out, "\n### Cost per frame beyond the conversion\n\n");
    std::fprintf(
        out,
        "The conversion alone is timed in the parent process at 2048 x 1536 "
        "(trv::ExpandMono8To24 for mono, trv::Copy24 for colour): hot and from memory as in "
        "frame_bench_win, and **as in the run**: another thread writes the simulator's pattern "
        "into the source just before each conversion, as the live thread does, and the "
        "conversion writes into two buffers in turn, as the plug-in does, either back to back "
        "or after 33 ms of idle time per frame, as at 30 fps. The plug-in's work per frame (W) "
        "is its window procedure minus the callback: over the rising-rate phases up to 120 fps, "
        "where the camera thread idles between frames, and **back to back** over events that "
        "queued behind a host that paused once for %lu ms. Between two frames the camera "
        "thread also runs its message loop (GetMessageW, TranslateMessage, DispatchMessageW; "
        "L): timed from the end of one frame event to the start of the next when the next was "
        "already queued, in that backlog. The 64 x 48 camera runs the same path with 3 KiB to "
        "convert: its W + L is the cost beyond the conversion, measured directly, and the "
        "target is judged by it. Medians in microseconds.\n\n",
        static_cast<unsigned long>(kPauseMs));
    std::fprintf(out, "| | mono | colour | 64 x 48 mono |\n|---|---:|---:|---:|\n");
    auto row3 = [&](const char* label, double a, double b, double c, int decimals = 1) {
        std::fprintf(out, "| %s | %s | %s | %s |\n", label, Num(a, decimals).c_str(),
                     Num(b, decimals).c_str(), Num(c, decimals).c_str());
    };
    row3("conversion alone, hot", convMono.hot.median, convColour.hot.median, NAN);
    row3("conversion alone, from memory", convMono.cold.median, convColour.cold.median, NAN);
    row3("conversion alone, as in the run, back to back (A1)", convMono.asRun.median,
         convColour.asRun.median, NAN);
    row3("conversion alone, as in the run, 33 ms idle before each frame (A2)",
         convMono.paced.median, convColour.paced.median, NAN);
    row3("the simulator's pattern write of one frame, for comparison", convMono.write.median,
         convColour.write.median, NAN);
    row3("W, frames with idle time between them", mono.Get("work_median"),
         colour.Get("work_median"), tiny.Get("work_median"));
    row3("  its 99th percentile", mono.Get("work_p99"), colour.Get("work_p99"),
         tiny.Get("work_p99"));
    row3("  frames measured", mono.Get("work_n"), colour.Get("work_n"), tiny.Get("work_n"), 0);
    row3("W, back to back", mono.Get("backlog_work_median"), colour.Get("backlog_work_median"),
         NAN);
    row3("  frames measured", mono.Get("backlog_work_n"), colour.Get("backlog_work_n"), NAN, 0);
    row3("L, message loop per queued event", mono.Get("loop_median"), colour.Get("loop_median"),
         tiny.Get("loop_median"));
    row3("  its 99th percentile", mono.Get("loop_p99"), colour.Get("loop_p99"),
         tiny.Get("loop_p99"));
    row3("  events measured", mono.Get("loop_n"), colour.Get("loop_n"), tiny.Get("loop_n"), 0);
    row3("beyond the conversion, measured directly: O = W + L", NAN, NAN, direct);
    auto shares = [&](const Conversion& c) {
        return Pct(direct, c.hot.median) + " / " + Pct(direct, c.cold.median) + " / " +
               Pct(direct, c.asRun.median) + " / " + Pct(direct, c.paced.median);
    };
    std::fprintf(out,
                 "| O as a share of the conversion: hot / from memory / A1 / A2 | %s | %s | |\n",
                 shares(convMono).c_str(), shares(convColour).c_str());
    std::fprintf(out,
                 "\nTarget, the cost beyond the conversion under 10 %% of the conversion at "
                 "2048 x 1536: O = %s us against the conversion as in the run with idle time "
                 "(A2): mono %s, colour %s; against the fastest the conversion ever runs "
                 "(hot): mono %s, colour %s.\n",
                 Num(direct, 1).c_str(), verdict(direct, convMono.paced.median).c_str(),
                 verdict(direct, convColour.paced.median).c_str(),
                 verdict(direct, convMono.hot.median).c_str(),
                 verdict(direct, convColour.hot.median).c_str());
    std::fprintf(
        out,
        "\nWhy not W minus the conversion alone: the conversion's own time depends on the "
        "state of the caches and of the CPU after idle time, by more than O. In the rising-rate "
        "runs W falls from %s us at 15 fps to %s us at 240 fps (mono) and from %s to %s us "
        "(colour) with the same work to do; W - A2 + L comes to %s us (mono) and %s us "
        "(colour), W back to back - A1 + L to %s us and %s us. These differences of two "
        "figures near a millisecond, taken in different processes, carry the swing of the "
        "conversion itself, so they do not isolate the plug-in's part; the 64 x 48 camera "
        "does.\n",
        Num(mono.Get("sweep_work_median_15")).c_str(),
        Num(mono.Get("sweep_work_median_240")).c_str(),
        Num(colour.Get("sweep_work_median_15")).c_str(),
        Num(colour.Get("sweep_work_median_240")).c_str(),
        Num(mono.Get("work_median") - convMono.paced.median + mono.Get("loop_median")).c_str(),
        Num(colour.Get("work_median") - convColour.paced.median + colour.Get("loop_median"))
            .c_str(),
        Num(mono.Get("backlog_work_median") - convMono.asRun.median + mono.Get("loop_median"))
            .c_str(),
        Num(colour.Get("backlog_work_median") - convColour.asRun.median + colour.Get("loop_median"))
            .c_str());

    std::fprintf(out,
                 "\nWhat the frame path calls besides the conversion, timed alone in the parent "
                 "(microseconds per call, median of 9 batches). Under Wine a named mutex and "
                 "the message queue are served by the wineserver process, so each such call is "
                 "a round trip to it.\n\n");
    std::fprintf(out, "| call | us |\n|---|---:|\n");
    std::fprintf(out,
                 "| QueryPerformanceCounter (the bench's probe calls it 4 times a frame) | "
                 "%s |\n",
                 Num(calls.counter, 3).c_str());
    std::fprintf(out, "| GetTickCount twice (OnFrame) | %s |\n", Num(calls.tickCounts, 3).c_str());
    std::fprintf(out, "| TryEnterCriticalSection and LeaveCriticalSection, free | %s |\n",
                 Num(calls.section, 3).c_str());
    std::fprintf(out,
                 "| WaitForSingleObject and ReleaseMutex of a named mutex (the live check in "
                 "MyGetFrameBuffer) | %s |\n",
                 Num(calls.namedMutex, 1).c_str());
    std::fprintf(out, "| PostMessageW (the camera library's side) | %s |\n",
                 Num(calls.post, 1).c_str());
    std::fprintf(out,
                 "| GetMessageW, TranslateMessage, DispatchMessageW of a queued message | %s |\n",
                 Num(calls.getDispatch, 1).c_str());

    for (const ChildResult* c : {&mono, &colour, &tiny}) {
        std::fprintf(out, "%s", c->ok ? c->markdown.c_str() : "\n(this run failed)\n");
    }

    std::fprintf(
        out,
        "\n### Timing queries and the simulator\n\n"
        "With the camera stopped a paced timing query takes %s us at the 99th percentile "
        "(mono process); with the camera live at %.0f fps, %s us (mono), %s us (colour) and "
        "%s us (64 x 48). The paced queries held the command lock %s (mono), %s (colour) and "
        "%s (64 x 48) of the time, and %s, %s and %s of the frame events found it taken. The "
        "simulated camera writes each frame outside the lock its library calls take, as a "
        "camera's own transfer does, so a query never waits for a frame being written; where "
        "the share of events dropped exceeds the share of time the lock was held, the events "
        "came while a query ran more often than at random moments (a query's library calls and "
        "the frame write compete for the same two cores).\n",
        Num(mono.Get("queries_alone_p99"), 1).c_str(), kQueryPacedFps,
        Num(mono.Get(paced + "p99")).c_str(), Num(colour.Get(paced + "p99")).c_str(),
        Num(tiny.Get(paced + "p99")).c_str(), Pct(mono.Get(paced + "share"), 1).c_str(),
        Pct(colour.Get(paced + "share"), 1).c_str(), Pct(tiny.Get(paced + "share"), 1).c_str(),
        Pct(mono.Get(paced + "dropped"), mono.Get(paced + "events")).c_str(),
        Pct(colour.Get(paced + "dropped"), colour.Get(paced + "events")).c_str(),
        Pct(tiny.Get(paced + "dropped"), tiny.Get(paced + "events")).c_str());

    auto lossAt = [](double v) {
        return std::isnan(v) ? std::string("no rate tried") : Num(v) + " fps";
    };
    std::fprintf(
        out,
        "\n### Frames lost without a command\n\n"
        "The plug-in converts from its one image memory, which the camera overwrites at every "
        "frame (the simulator's write takes %s us for mono and %s us for colour, above). A "
        "frame whose event is taken too late is overwritten before it is read: it is never "
        "delivered, the next callback repeats a frame, or the callback gets the first bytes "
        "of one frame and the rest of the next (torn). No command ran in the rising-rate "
        "phases, yet the first frame was lost at %s (mono) and %s (colour), and %s and %s "
        "torn frames reached the host at the rates the camera thread kept up with. A ring of "
        "image memories, each handed back to the camera only after its conversion, would "
        "avoid both.\n",
        Num(convMono.write.median).c_str(), Num(convColour.write.median).c_str(),
        lossAt(mono.Get("first_loss_fps")).c_str(), lossAt(colour.Get("first_loss_fps")).c_str(),
        Num(mono.Get("torn_up_to_kept_up")).c_str(), Num(colour.Get("torn_up_to_kept_up")).c_str());

    if (mono.Get("slow_grows") == 1 || colour.Get("slow_grows") == 1) {
        std::fprintf(
            out,
            "\n### A slow host: the queue grew\n\n"
            "Every frame event waits in the camera window's queue until the previous callback "
            "has returned. The plug-in skips a frame event when the next camera event queued is "
            "a frame of the same camera (its one image memory already holds that frame or a "
            "newer one), so behind a host slower than the camera the queue should stay short; "
            "here it grew (%s events queued after %.0f s, mono, and %s, colour): the camera "
            "thread did not keep up even so. The \"coalesced\" rows above also take the queued "
            "frame events out, in the bench's window hook: events queued at the stop %s (mono) "
            "and %s (colour), event age at the 99th percentile %s us and %s us.\n",
            Num(mono.Get("slow_queued_at_stop")).c_str(), kSlowSeconds,
            Num(colour.Get("slow_queued_at_stop")).c_str(),
            Num(mono.Get("coalesced_queued_at_stop")).c_str(),
            Num(colour.Get("coalesced_queued_at_stop")).c_str(),
            Num(mono.Get("coalesced_age_p99")).c_str(),
            Num(colour.Get("coalesced_age_p99")).c_str());
    }
}

} // namespace framepath
