// Start-up to live frames and the lifecycle commands, through the real export.
#include "infra/trv_params.h"
#include "host_settings.h"
#include "log_text.h"
#include "plugin_host.h"
#include "frame_pattern.h"
#include "sim_control.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

using trvtest::PluginHost;

struct Frame {
    unsigned char* pixels;
    int32_t width, height, size;
    uint32_t number; // from the pattern's first bytes
    bool patternOk;
    std::vector<unsigned char> bytes; // a copy, of the first frames only
};

std::mutex gFramesLock;
std::vector<Frame> gFrames;
int gErrors = 0;

void OnFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size, intptr_t,
             int32_t) {
    Frame f{pixels, width, height, size, 0, false, {}};
    if (pixels != nullptr && size >= 12) {
        f.number = trvtest::FrameNumber(pixels, false);
        f.patternOk = trvtest::PatternFits(pixels, size, false);
    }
    std::lock_guard<std::mutex> g(gFramesLock);
    if (pixels != nullptr && gFrames.size() < 8) {
        f.bytes.assign(pixels, pixels + size); // the buffer is reused two frames later
    }
    gFrames.push_back(f);
}

void OnError() {
    ++gErrors;
}

size_t FrameCount() {
    std::lock_guard<std::mutex> g(gFramesLock);
    return gFrames.size();
}

bool WaitForFrames(size_t n, DWORD ms = 20000) {
    const DWORD start = GetTickCount();
    while (FrameCount() < n) {
        if (GetTickCount() - start > ms) {
            return false;
        }
        Sleep(5);
    }
    return true;
}

TrvStartParams StartBlock(const std::wstring& configDir) {
    return trvtest::StartBlock(configDir, &OnFrame, &OnError);
}

bool Contains(const std::string& log, const std::string& piece) {
    return log.find(piece) != std::string::npos;
}

class Lifecycle : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_fps(50);
        gFrames.clear();
        gErrors = 0;
    }
    trvtest::HostSettings settings;
};

TEST_F(Lifecycle, SingleColourCameraDeliversFramesInAlternatingBuffers) {
    const SimCamera cam = sim_camera("4002870123", 1, 2, 320, 240);
    sim_add_camera(&cam);
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    TrvStartParams block = StartBlock(settings.configDir);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    EXPECT_EQ(block.nSizeX, 320);
    EXPECT_EQ(block.nSizeY, 240);
    ASSERT_TRUE(WaitForFrames(4)) << "no live frames";
    std::vector<Frame> frames;
    {
        std::lock_guard<std::mutex> g(gFramesLock);
        frames = gFrames;
    }
    for (const Frame& f : frames) {
        EXPECT_EQ(f.width, 320);
        EXPECT_EQ(f.height, 240);
        EXPECT_EQ(f.size, 320 * 240 * 3);
        EXPECT_TRUE(f.patternOk) << "frame " << f.number << " differs from the image memory";
    }
    EXPECT_NE(frames[0].pixels, frames[1].pixels);
    EXPECT_EQ(frames[2].pixels, frames[0].pixels);
    EXPECT_EQ(frames[3].pixels, frames[1].pixels);
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Contains(log, "**** TrvCmd: _TRV_DSHOW_CMD_START date=")) << log;
    EXPECT_TRUE(Contains(log, "**** TrvCmd: section=video\n"));
    // Written in pieces while the camera thread logs: its lines may fall between them.
    EXPECT_TRUE(trvtest::HasInOrder(log, {"***** UEYECAM Init3 waiting ", "60", "...\n"})) << log;
    EXPECT_TRUE(Contains(log, "MyLoadSingle begin\n"));
    EXPECT_TRUE(Contains(log, "***** UEYECAM OpenCamera9\n"));
    EXPECT_TRUE(Contains(log, "***** UEYECAM uEueCamThread3\n"));

    // A second start while started: nothing logged, only the size rewritten.
    TrvStartParams again = StartBlock(settings.configDir);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &again), 1);
    EXPECT_EQ(again.nSizeX, 320);
    EXPECT_EQ(again.nSizeY, 240);
    EXPECT_EQ(host.TakeLog().find("TrvCmd"), std::string::npos);

    // Stop closes the camera: no more frames, and start reports the closed record's size.
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP), 1);
    Sleep(100);
    const size_t afterStop = FrameCount();
    Sleep(300);
    EXPECT_EQ(FrameCount(), afterStop);
    TrvStartParams closed = StartBlock(settings.configDir);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &closed), 1);
    EXPECT_EQ(closed.nSizeX, 320);
    EXPECT_EQ(closed.nSizeY, 240);
}

TEST_F(Lifecycle, MonoCameraFramesAreExpandedToThreeEqualBytes) {
    const SimCamera cam = sim_camera("M1", 1, 1, 64, 48);
    sim_add_camera(&cam);
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    TrvStartParams block = StartBlock(settings.configDir);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    ASSERT_TRUE(WaitForFrames(2));
    std::lock_guard<std::mutex> g(gFramesLock);
    const Frame& f = gFrames[1];
    ASSERT_EQ(f.size, 64 * 48 * 3);
    // Pixel i of the memory holds the pattern byte i; the frame holds it three times.
    EXPECT_TRUE(trvtest::PatternFits(f.bytes.data(), f.size, true, 1));
    EXPECT_FALSE(trvtest::PatternFits(f.bytes.data(), f.size, false, 1)) << "read as 24 bits";
}

TEST_F(Lifecycle, MultipleCamerasFromKeysWithGaps) {
    const SimCamera a = sim_camera("SN2", 2, 2, 40, 30);
    const SimCamera b = sim_camera("SN5", 5, 2, 80, 60);
    sim_add_camera(&a);
    sim_add_camera(&b);
    settings.Set(L"CamSN_2", L"SN2");
    settings.Set(L"CamSN_5", L"SN5");
    settings.Set(L"CamSN_Max", L"6");
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    TrvStartParams block = StartBlock(settings.configDir);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    EXPECT_EQ(block.nSizeX, 40) << "the lowest configured id is current";
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Contains(log, "MyLoadMultiple maxCams=6\n"));
    EXPECT_TRUE(Contains(log, "KEY=CamSN_2 SERNO=SN2\n"));
    EXPECT_TRUE(Contains(log, "KEY=CamSN_5 SERNO=SN5\n"));
    EXPECT_TRUE(Contains(log, "MyLoadMultiple key=CamSN_6\n"));
    EXPECT_FALSE(Contains(log, "CamSN_7"));
    EXPECT_TRUE(Contains(log, "MyLoadMultiple gMyCams.size()=2\n"));
    EXPECT_FALSE(Contains(log, "MyLoadSingle")) << "no single camera when keys name cameras";
    EXPECT_FALSE(Contains(log, "streaming live video")) << "configured cameras start not live";
    // Camera 5 becomes live on a switch; camera 2 never was.
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 5), 1);
    const std::string sw = host.TakeLog();
    EXPECT_TRUE(Contains(sw, "MySetStreamId found i = 1\n")) << sw;
    EXPECT_TRUE(Contains(sw, "MySetStreamId starting new...\n"));
    EXPECT_TRUE(Contains(sw, "MySetStreamId success t=")) << sw;
    EXPECT_TRUE(WaitForFrames(FrameCount() + 2));
    std::lock_guard<std::mutex> g(gFramesLock);
    EXPECT_EQ(gFrames.back().width, 80);
}

TEST_F(Lifecycle, NoPositiveCamSnMaxLoadsTheSingleCamera) {
    const SimCamera a = sim_camera("SN1", 1, 2, 40, 30);
    sim_add_camera(&a);
    settings.Set(L"CamSN_1", L"SN1");
    settings.Set(L"CamSN_Max", L"-3");
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    TrvStartParams block = StartBlock(settings.configDir);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Contains(log, "MyLoadMultiple maxCams=-3\nMyLoadMultiple gMyCams.size()=0\n"))
        << log;
    EXPECT_TRUE(Contains(log, "MyLoadSingle begin\n"));
    EXPECT_TRUE(WaitForFrames(1)) << "the single camera is live";
}

TEST_F(Lifecycle, StartWithoutCameraTimesOutToOneSliceAndReportsNoSize) {
    // A camera that takes 15 s to open keeps the thread from signalling within the only slice.
    settings.Set(L"CamSN_Wait", L"4");
    const SimCamera a = sim_camera("SLOW", 1, 2, 40, 30);
    sim_add_camera(&a);
    sim_set_init_delay_ms(15000);
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    TrvStartParams block = StartBlock(settings.configDir);
    const DWORD start = GetTickCount();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    const DWORD spent = GetTickCount() - start;
    EXPECT_GE(spent, 4900u);
    EXPECT_LT(spent, 20000u) << "one slice, not the default twelve";
    EXPECT_EQ(block.nSizeX, -1) << "no record yet: the size is left as the host wrote it";
    const std::string log = host.TakeLog();
    // The camera thread logs meanwhile; the start command writes exactly one waiting line.
    size_t waits = 0;
    for (size_t p = log.find("Init3 waiting"); p != std::string::npos;
         p = log.find("Init3 waiting", p + 1)) {
        ++waits;
    }
    EXPECT_EQ(waits, 1u) << log;
    // Its pieces may be interleaved with the camera thread's.
    EXPECT_TRUE(trvtest::HasInOrder(log, {"Init3 waiting ", "4", "...\n"})) << log;
    EXPECT_TRUE(Contains(log, "***** UEYECAM Init4 time="));
}

class CameraEvents : public Lifecycle {
  protected:
    void StartOne() {
        const SimCamera cam = sim_camera("EV", 1, 2, 32, 16);
        sim_add_camera(&cam);
        ASSERT_TRUE(host.loaded());
        TrvStartParams block = StartBlock(settings.configDir);
        ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
        ASSERT_TRUE(WaitForFrames(3));
        sim_set_fps(1); // quiet: the events under test are the only traffic
        Sleep(200);
        host.TakeLog();
    }
    PluginHost host;
};

TEST_F(CameraEvents, FramesDuringACommandAreCountedNotDelivered) {
    StartOne();
    sim_set_fps(50);
    ASSERT_TRUE(WaitForFrames(FrameCount() + 3));
    // A focus command waits a second for a mutex held by another thread, under the command
    // lock: frames keep coming from the camera but none reaches the host meanwhile.
    HANDLE holderReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    struct Args {
        HANDLE ready, release;
    } args{holderReady, release};
    HANDLE holder = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            Args* a = static_cast<Args*>(p);
            HANDLE m = CreateMutexW(nullptr, FALSE, L"FOCUS_LOCK");
            WaitForSingleObject(m, INFINITE);
            SetEvent(a->ready);
            WaitForSingleObject(a->release, 20000);
            ReleaseMutex(m);
            CloseHandle(m);
            return 0;
        },
        &args, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(holderReady, 10000), WAIT_OBJECT_0);
    const uint32_t postedBefore = sim_frames_posted(0);
    const size_t deliveredBefore = FrameCount();
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    const size_t deliveredDuring = FrameCount() - deliveredBefore;
    const uint32_t postedDuring = sim_frames_posted(0) - postedBefore;
    SetEvent(release);
    WaitForSingleObject(holder, 10000);
    CloseHandle(holder);
    EXPECT_GE(postedDuring, 10u) << "the camera went on posting during the command";
    EXPECT_LE(deliveredDuring, 1u) << "at most a frame already past the lock when it began";
    EXPECT_TRUE(WaitForFrames(FrameCount() + 3)) << "frames flow again after the command";
}

TEST_F(Lifecycle, SharedConfigurationIsRestoredAtLoad) {
    const SimCamera cam = sim_camera("S", 1, 2, 32, 16);
    sim_add_camera(&cam);
    settings.Set(L"CamShareConfig", L"1");
    settings.Set(L"CamShareLast", L"0");
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    TrvStartParams block = StartBlock(settings.configDir);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Contains(log, "LoadFile1 file=")) << "configuration 0 is active: " << log;
    EXPECT_TRUE(Contains(log, "ueyecam_0.ini found=0\n"));
}

TEST_F(Lifecycle, SharedConfigurationStaysOffWithoutALastId) {
    const SimCamera cam = sim_camera("S", 1, 2, 32, 16);
    sim_add_camera(&cam);
    settings.Set(L"CamShareConfig", L"1");
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    TrvStartParams block = StartBlock(settings.configDir);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    const std::string log = host.TakeLog();
    EXPECT_FALSE(Contains(log, "LoadFile1")) << log;
    EXPECT_TRUE(Contains(log, "LoadFile3: "));
}

} // namespace
