// Why a queue of our own: PeekMessageW can take messages out of the window's queue only by
// number, and every camera event has the same number. So the events are taken out in their
// order, the stale frames are dropped, and the others are held here in that order. Putting them
// back with PostMessageW would queue them behind events the library posts meanwhile; instead
// the message loop takes the held events before it asks the window's queue again. Everything
// held was posted before anything still in the window's queue, so the events are handled in
// the order they were posted.
#include "camera_events.h"

#include "acquisition/frame_handoff.h"
#include "ueye/ueye_api.h"

namespace {

struct HeldEvent {
    WPARAM code;
    LPARAM cam;
};

// Full: the rest stays in the window's queue, which is newer, so the order still holds.
constexpr size_t kMostHeld = 4096;
HeldEvent gHeld[kMostHeld]; // a ring, used by the camera thread only
size_t gHeldFirst = 0;
size_t gHeldCount = 0;

HeldEvent& HeldAt(size_t i) {
    return gHeld[(gHeldFirst + i) % kMostHeld];
}

bool IsFrameOf(const HeldEvent& e, uint32_t hCam) {
    return e.code == 0 && static_cast<uint32_t>(e.cam) == hCam;
}

} // namespace

uint32_t DropQueuedFrames(HWND hwnd, uint32_t hCam) {
    uint32_t dropped = 0;
    size_t kept = 0;
    for (size_t i = 0; i < gHeldCount; ++i) {
        const HeldEvent e = HeldAt(i);
        if (IsFrameOf(e, hCam)) {
            ++dropped;
        } else {
            HeldAt(kept++) = e;
        }
    }
    gHeldCount = kept;
    MSG m;
    // Posted messages only: no sent message is handled in the middle of a frame.
    while (gHeldCount < kMostHeld && PeekMessageW(&m, hwnd, IS_UEYE_MESSAGE, IS_UEYE_MESSAGE,
                                                  PM_REMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE)) {
        const HeldEvent e = {m.wParam, m.lParam};
        if (IsFrameOf(e, hCam)) {
            ++dropped;
        } else {
            HeldAt(gHeldCount++) = e;
        }
    }
    for (uint32_t i = 0; i < dropped; ++i) {
        gLastFrameCam = hCam;
        InterlockedIncrement(&gFrameEventCount);
    }
    return dropped;
}

BOOL NextCamMessage(HWND hwnd, MSG& msg) {
    if (gHeldCount == 0) {
        return GetMessageW(&msg, hwnd, 0, 0);
    }
    const HeldEvent e = HeldAt(0);
    gHeldFirst = (gHeldFirst + 1) % kMostHeld;
    --gHeldCount;
    msg = MSG{};
    msg.hwnd = hwnd;
    msg.message = IS_UEYE_MESSAGE;
    msg.wParam = e.code;
    msg.lParam = e.cam;
    return TRUE;
}
