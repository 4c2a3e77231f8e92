// Capture: event messages, live video, trigger modes and the capture-status counters.
#include "sim_call.h"

#include <cstring>

using sim::Format;

UEYE_API UeyeStatus is_EventMessage(UeyeHandle hCam, int32_t nEvent, HWND hWnd) {
    return sim::OnCamera("is_EventMessage", nEvent, hCam,
                         Format("event=%d hWnd=%s", nEvent, hWnd ? "window" : "null"), sim::Outs{},
                         [=](sim::Camera& c, std::string&) {
                             if (hWnd == nullptr) {
                                 c.eventWindows.erase(nEvent);
                             } else {
                                 c.eventWindows[nEvent] = hWnd;
                             }
                             return 0;
                         });
}

UEYE_API UeyeStatus is_StopLiveVideo(UeyeHandle hCam, int32_t nWait) {
    const UeyeStatus result =
        sim::OnCamera("is_StopLiveVideo", nWait, hCam, Format("wait=%d", nWait), sim::Outs{},
                      [](sim::Camera& c, std::string&) {
                          c.live = false;
                          c.pendingTriggers = 0;
                          return 0;
                      });
    // Waiting, the call returns once a frame being written has been written.
    for (bool busy = nWait == ueye::kStopWait; busy;) {
        {
            sim::State& s = sim::Get();
            std::lock_guard<std::mutex> g(s.lock);
            const sim::Camera* c = sim::Open(s, hCam);
            busy = c != nullptr && s.writing.count(c->activeMemory) != 0;
        }
        if (busy) {
            Sleep(0);
        }
    }
    return result;
}

UEYE_API UeyeStatus is_CaptureVideo(UeyeHandle hCam, int32_t nWait) {
    return sim::OnCamera("is_CaptureVideo", nWait, hCam, Format("wait=%d", nWait), sim::Outs{},
                         [=](sim::Camera& c, std::string&) {
                             if (nWait == ueye::kQuery) {
                                 return c.live ? 1 : 0;
                             }
                             if (c.activeMemory == nullptr) {
                                 return sim::kNoActiveMemory;
                             }
                             if (!c.live) {
                                 c.live = true;
                                 c.nextFrameUs = sim::NowUs() + static_cast<int64_t>(1e6 / c.p.fps);
                             }
                             sim::StartLiveThread(sim::Get());
                             return 0;
                         });
}

UEYE_API UeyeStatus is_TriggerMode(UeyeHandle hCam, int32_t nMode) {
    return sim::OnCamera("is_TriggerMode", nMode, hCam,
                         Format("mode=0x%x", static_cast<uint32_t>(nMode)), sim::Outs{},
                         [=](sim::Camera& c, std::string&) {
                             if (nMode == ueye::kQuery) {
                                 return c.trigger;
                             }
                             if (nMode == ueye::kQuerySupportedTrigger) {
                                 return c.triggerSupported;
                             }
                             if (nMode != 0 && (c.triggerSupported & nMode) != nMode) {
                                 return sim::kInvalidParameter;
                             }
                             c.trigger = nMode;
                             return 0;
                         });
}

UEYE_API UeyeStatus is_CaptureStatus(UeyeHandle hCam, uint32_t nCommand, void* pParam,
                                     uint32_t nSize) {
    return sim::OnCamera("is_CaptureStatus", nCommand, hCam,
                         Format("cmd=%u size=%u", nCommand, nSize),
                         sim::OutsOf(nCommand, pParam, pParam != nullptr ? nSize : 0),
                         [=](sim::Camera& c, std::string& outs) {
                             if (nCommand == ueye::kCaptureStatusGet) {
                                 if (pParam == nullptr || nSize != sizeof(UeyeCaptureStatus)) {
                                     return sim::kInvalidParameter;
                                 }
                                 UeyeCaptureStatus info = {};
                                 info.nTotal = c.statusTotal;
                                 std::memcpy(info.anCount, c.statusCounts, sizeof info.anCount);
                                 std::memcpy(pParam, &info, sizeof info);
                                 outs = Format("total=%u", c.statusTotal);
                                 for (int code = 0; code < 256; ++code) {
                                     if (c.statusCounts[code] != 0) {
                                         outs += Format(" c%d=%u", code, c.statusCounts[code]);
                                     }
                                 }
                                 return 0;
                             }
                             if (nCommand == ueye::kCaptureStatusReset) {
                                 c.statusTotal = 0;
                                 std::memset(c.statusCounts, 0, sizeof c.statusCounts);
                                 return 0;
                             }
                             return sim::kInvalidParameter;
                         });
}
