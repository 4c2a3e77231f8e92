// The log object's slots, commands that run out of memory, and the record a frame is taken
// from when a stream switch ends between the frame event and the command lock.
#include "acquisition/cam_thread.h"
#include "camera/my_cam.h"
#include "entry/dispatcher.h"
#include "infra/globals.h"
#include "infra/trv_log.h"
#include "host_settings.h"
#include "log_reader.h"
#include "sim_control.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <new>

static thread_local bool tOutOfMemory = false; // every allocation of this thread fails

// Memory from malloc, as the default delete frees it.
void* operator new(std::size_t size) {
    void* p = tOutOfMemory ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

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

TEST(OutOfMemory, CommandsKeepTheirAnswersAndStartRunsToItsEnd) {
    trvtest::HostSettings settings;
    settings.Set(L"CamShareConfig", L"1"); // a stream switch then loads a parameter file
    sim_reset(); // no camera: the camera thread loads one closed record and signals
    LogReader log;
    log.Drain();
    TrvStartParams block = {};
    block.nSizeX = -1;
    block.frameCallback = [](unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {};
    block.pszConfigDir = settings.configDir.c_str();
    tOutOfMemory = true;
    const bool started = Dispatch(_TRV_DSHOW_CMD_START, reinterpret_cast<intptr_t>(&block));
    const bool switched = Dispatch(_TRV_DSHOW_CMD_SET_STREAM_ID, 0);
    const bool reset =
        Dispatch(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"other.ini"));
    tOutOfMemory = false;
    EXPECT_TRUE(started && switched && !reset) << started << switched << reset;
    EXPECT_EQ(block.nSizeX, 0) << "the closed record's size is reported";
    const std::string text = ToUtf8(log.Drain());
    EXPECT_NE(text.find("***** UEYECAM Init4 time="), std::string::npos) << text;
    EXPECT_NE(text.find("TrvCmd: out of memory in command 32\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TrvCmd: out of memory in command 42\n"), std::string::npos) << text;
    gFrameCallback = nullptr;
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
