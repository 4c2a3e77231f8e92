// The log object's slots, and commands that run out of memory.
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

} // namespace
