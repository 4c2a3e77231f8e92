// The log object's slots, and the record a frame is taken from when a stream switch ends
// between the frame event and the command lock.
#include "acquisition/cam_thread.h"
#include "camera/my_cam.h"
#include "infra/globals.h"
#include "infra/trv_log.h"
#include "log_reader.h"
#include "sim_control.h"

#include <gtest/gtest.h>

#include <windows.h>

extern "C" void* __imp_GetTickCount; // the import address the plug-in code calls through

namespace {

TEST(LogObject, WriteIsSlotZeroAndWriteWSlotOne) {
    LogReader log;
    log.Drain();
    TRV_Log local;
    void** slots = *reinterpret_cast<void***>(&local);
    reinterpret_cast<void (*)(TRV_Log*, const char*)>(slots[0])(&local, "slot 0, ");
    reinterpret_cast<void (*)(TRV_Log*, const wchar_t*)>(slots[1])(&local, L"slot 1\n");
    EXPECT_EQ(ToUtf8(log.Drain()), "slot 0, slot 1\n");
}

using TickFn = DWORD(WINAPI*)();
TickFn gRealTick = nullptr;
bool gSwitchAtNextTick = false;

// A stream switch that ends on another thread just after the frame event was taken.
DWORD WINAPI TickDuringSwitch() {
    if (gSwitchAtNextTick) {
        gSwitchAtNextTick = false;
        gCurCamIndex = 1;
    }
    return gRealTick();
}

int32_t gDeliveredWidth = 0;

TEST(FrameRecord, ChosenOnceTheCommandLockIsHeld) {
    static char memory[8 * 2 * 3];
    gMyCams.assign(2, MyCam{});
    for (uint32_t i = 0; i < 2; ++i) {
        MyCam& c = gMyCams[i];
        c.m_hCam = i + 1;
        c.m_nSizeX = 4 * static_cast<int32_t>(i + 1); // camera 1: 4 pixels wide, camera 2: 8
        c.m_nSizeY = 2;
        c.m_nBitsPerPixel = 24;
        c.m_pcImageMemory = memory;
        c.m_bLive = true;
    }
    gCurCamIndex = 0;
    gFrameCallback = [](unsigned char*, int32_t width, int32_t, int32_t, intptr_t, int32_t) {
        gDeliveredWidth = width;
    };
    DWORD protect = 0;
    ASSERT_TRUE(VirtualProtect(&__imp_GetTickCount, sizeof(void*), PAGE_READWRITE, &protect));
    gRealTick = reinterpret_cast<TickFn>(__imp_GetTickCount);
    __imp_GetTickCount = reinterpret_cast<void*>(&TickDuringSwitch);
    gSwitchAtNextTick = true;
    CamWndProc(nullptr, 0x0500, 0, 1); // a frame of camera 1
    __imp_GetTickCount = reinterpret_cast<void*>(gRealTick);
    EXPECT_EQ(gDeliveredWidth, 8) << "a frame of the camera switched away from was delivered";
    gFrameCallback = nullptr;
}

} // namespace
