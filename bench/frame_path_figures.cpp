// What a phase shows: frames delivered, lost and repeated, the queue, and the spread of the
// delays and of the plug-in's work.
#include "frame_path.h"
#include "sim_control.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace framepath {

int64_t PostUs(const Phase& p, uint32_t frame) {
    if (frame >= p.firstFrame && frame - p.firstFrame < p.postUs.size()) {
        return p.postUs[frame - p.firstFrame];
    }
    return -1;
}

Figures Analyse(const Phase& p) {
    Figures f;
    f.posted = p.posted;
    f.taken = p.taken;
    const int64_t first = PostUs(p, p.firstFrame);
    const int64_t last = p.posted > 1 ? PostUs(p, p.firstFrame + p.posted - 1) : -1;
    if (first >= 0 && last > first) {
        f.postedPerSecond = (p.posted - 1) * 1e6 / static_cast<double>(last - first);
    }
    std::set<uint32_t> seen;
    std::set<uint32_t> seenAfterStop;
    std::vector<double> wake, delay, age, work, gap, runtime;
    for (size_t k = 0; k < p.events.size(); ++k) {
        const Event& e = p.events[k];
        if (e.coalesced) {
            ++f.coalesced;
            continue;
        }
        if (e.callback == 0) {
            ++(e.skipped ? f.skipped : f.droppedUnderLock);
            continue;
        }
        ++f.callbacks;
        if (e.badSize) {
            ++f.badSize;
            continue;
        }
        if (!seen.insert(e.pixelFrame).second) {
            ++f.repeats;
        }
        const uint32_t eventFrame = p.firstFrame + e.own;
        f.newerThanEvent += e.pixelFrame != eventFrame ? 1 : 0;
        f.torn += e.torn ? 1 : 0;
        if (e.enter >= p.stop) {
            ++f.callbacksAfterStop;
            seenAfterStop.insert(e.pixelFrame);
            continue; // the host is quick again while the queue drains
        }
        if (k < kSettleEvents) {
            continue;
        }
        int64_t post = PostUs(p, e.pixelFrame);
        if (post < 0) {
            post = sim_post_time_us(p.camera, e.pixelFrame);
        }
        if (post < 0) {
            ++f.unknownPost;
        } else {
            delay.push_back(static_cast<double>(UsOf(e.callback) - post));
        }
        const int64_t eventPost = PostUs(p, eventFrame);
        if (eventPost >= 0) {
            age.push_back(static_cast<double>(UsOf(e.callback) - eventPost));
            wake.push_back(static_cast<double>(UsOf(e.enter) - eventPost));
        }
        work.push_back(Us(e.exit - e.enter) - Us(e.callbackEnd - e.callback));
        runtime.push_back(Us(e.callbackEnd - e.callback));
        if (k + 1 < p.events.size() && !p.events[k + 1].coalesced) {
            const int64_t nextPost = PostUs(p, eventFrame + 1);
            if (nextPost >= 0 && nextPost < UsOf(e.exit)) {
                gap.push_back(Us(p.events[k + 1].enter - e.exit));
            }
        }
    }
    f.distinctAfterStop = static_cast<uint32_t>(seenAfterStop.size());
    for (uint32_t k = 0; k < p.posted; ++k) {
        f.neverDelivered += seen.count(p.firstFrame + k) == 0 ? 1 : 0;
    }
    f.queuedAtStop = p.posted > p.takenAtStop ? p.posted - p.takenAtStop : 0;
    std::vector<double> depth;
    for (const Sample& s : p.queue) {
        depth.push_back(s.depth);
        f.queueMax = std::max(f.queueMax, s.depth);
    }
    const size_t quarter = depth.size() / 4;
    f.queueFirstQuarter = bench::MeanOf(depth, 0, quarter);
    f.queueLastQuarter = bench::MeanOf(depth, depth.size() - quarter, depth.size());
    // Growing: the last quarter of the run holds clearly more waiting events than the first.
    f.grows = quarter > 0 && f.queueLastQuarter - f.queueFirstQuarter > 2.0;
    f.workSample = work;
    f.gapSample = gap;
    f.wake = SpreadOf(wake);
    f.delay = SpreadOf(delay);
    f.age = SpreadOf(age);
    f.work = SpreadOf(work);
    f.gap = SpreadOf(gap);
    f.runtime = SpreadOf(runtime);
    return f;
}

bool Clean(const Figures& f) {
    return f.neverDelivered == 0 && !f.grows && f.badSize == 0;
}

bool Broken(const Figures& f) {
    return f.grows || f.neverDelivered * 10 > f.posted;
}

std::string MedianP99(const Spread& s) {
    return Num(s.median) + " / " + Num(s.p99);
}

} // namespace framepath
