// The frame path on records made by the test: buffers, conversion, dropping and counting.
#include "acquisition/frame_handoff.h"
#include "infra/globals.h"
#include "log_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Delivery {
    unsigned char* pixels;
    int32_t width, height, size;
    intptr_t reserved;
    int32_t reserved2;
    std::vector<unsigned char> bytes;
};

std::vector<Delivery> gDeliveries;

void RecordFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size,
                 intptr_t reserved, int32_t reserved2) {
    Delivery d{pixels, width, height, size, reserved, reserved2, {}};
    if (pixels != nullptr && size > 0) {
        d.bytes.assign(pixels, pixels + size);
    }
    gDeliveries.push_back(d);
}

class FrameHandoff : public testing::Test {
  protected:
    void SetUp() override {
        gDeliveries.clear();
        gMyCams.clear();
        gCurCamIndex = 0;
        gFrameCallback = &RecordFrame;
        InterlockedExchange(&gFrameEventCount, 0);
        log.Drain();
    }
    void TearDown() override {
        for (MyCam& cam : gMyCams) {
            delete[] cam.m_pcFrameBufferA;
            delete[] cam.m_pcFrameBufferB;
        }
        gMyCams.clear();
        gFrameCallback = nullptr;
    }
    // A live record of the given size whose image memory is `memory`.
    MyCam& AddCam(uint32_t handle, int32_t w, int32_t h, int32_t bits,
                  std::vector<unsigned char>& memory) {
        MyCam cam = {};
        cam.m_hCam = handle;
        cam.m_nSizeX = w;
        cam.m_nSizeY = h;
        cam.m_nBitsPerPixel = bits;
        cam.m_bLive = true;
        cam.m_dwLastFrameTick = GetTickCount(); // no slow-frame line unless a test wants one
        memory.resize(static_cast<size_t>(w) * h * bits / 8);
        for (size_t i = 0; i < memory.size(); ++i) {
            memory[i] = static_cast<unsigned char>(i * 7 + 3);
        }
        cam.m_pcImageMemory = reinterpret_cast<char*>(memory.data());
        gMyCams.push_back(cam);
        return gMyCams.back();
    }
    LRESULT Frame(MyCam& cam, uint32_t fromHandle) {
        return OnUEyeMessage(cam, nullptr, IS_UEYE_MESSAGE, 0, fromHandle);
    }
    std::string TakeLog() { return ToUtf8(log.Drain()); }

    LogReader log;
};

TEST_F(FrameHandoff, TwentyFourBitFramesAlternateBetweenTwoBuffers) {
    std::vector<unsigned char> memory;
    MyCam& cam = AddCam(7, 5, 3, 24, memory);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Frame(cam, 7), 0);
    }
    ASSERT_EQ(gDeliveries.size(), 3u);
    EXPECT_NE(gDeliveries[0].pixels, gDeliveries[1].pixels);
    EXPECT_EQ(gDeliveries[2].pixels, gDeliveries[0].pixels) << "the third reuses the first";
    for (const Delivery& d : gDeliveries) {
        EXPECT_EQ(d.width, 5);
        EXPECT_EQ(d.height, 3);
        EXPECT_EQ(d.size, 45);
        EXPECT_EQ(d.reserved, 0);
        EXPECT_EQ(d.reserved2, 0);
        EXPECT_EQ(d.bytes, memory) << "24-bit frames are the image memory unchanged";
    }
    EXPECT_EQ(gLastFrameCam, 7u);
    EXPECT_EQ(gFrameEventCount, 3);
    EXPECT_EQ(TakeLog(), "");
}

TEST_F(FrameHandoff, EightBitPixelsBecomeThreeEqualBytes) {
    std::vector<unsigned char> memory;
    MyCam& cam = AddCam(3, 7, 2, 8, memory);
    Frame(cam, 3);
    ASSERT_EQ(gDeliveries.size(), 1u);
    ASSERT_EQ(gDeliveries[0].size, 7 * 2 * 3);
    for (size_t i = 0; i < memory.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(gDeliveries[0].bytes[3 * i + c], memory[i]) << i;
        }
    }
}

TEST_F(FrameHandoff, SizeChangeReplacesBothBuffers) {
    std::vector<unsigned char> memory;
    MyCam& cam = AddCam(1, 4, 4, 24, memory);
    Frame(cam, 1);
    Frame(cam, 1);
    cam.m_nSizeX = 2; // smaller: the memory still holds enough bytes
    Frame(cam, 1);
    ASSERT_EQ(gDeliveries.size(), 3u);
    EXPECT_EQ(gDeliveries[2].size, 2 * 4 * 3);
    EXPECT_EQ(cam.m_nFrameBufferSize, 24);
    EXPECT_EQ(gDeliveries[2].bytes,
              std::vector<unsigned char>(memory.begin(), memory.begin() + 24));
}

TEST_F(FrameHandoff, NoImageMemoryDeliversNullWithTheRecordSizes) {
    std::vector<unsigned char> memory;
    MyCam& cam = AddCam(1, 4, 4, 24, memory);
    cam.m_pcImageMemory = nullptr;
    Frame(cam, 1);
    ASSERT_EQ(gDeliveries.size(), 1u);
    EXPECT_EQ(gDeliveries[0].pixels, nullptr);
    EXPECT_EQ(gDeliveries[0].width, 4);
    EXPECT_EQ(gDeliveries[0].size, 0) << "no buffer was ever made";
}

TEST_F(FrameHandoff, FrameDuringACommandIsCountedButNotDelivered) {
    std::vector<unsigned char> memory;
    MyCam& cam = AddCam(9, 2, 2, 24, memory);
    std::atomic<bool> held{false}, release{false};
    std::thread command([&] {
        EnterCriticalSection(&gCmdLock);
        held = true;
        while (!release) {
            Sleep(1);
        }
        LeaveCriticalSection(&gCmdLock);
    });
    while (!held) {
        Sleep(1);
    }
    gLastFrameCam = 0xFFFFFFFFu;
    Frame(cam, 9);
    release = true;
    command.join();
    EXPECT_TRUE(gDeliveries.empty());
    EXPECT_EQ(gFrameEventCount, 1);
    EXPECT_EQ(gLastFrameCam, 9u);
    EXPECT_FALSE(cam.m_bFrameBufferToggle) << "nothing was converted";
    Frame(cam, 9);
    EXPECT_EQ(gDeliveries.size(), 1u) << "the lock was left: the next frame goes through";
}

TEST_F(FrameHandoff, FramesOfOtherCamerasAreLoggedAndStillDelivered) {
    std::vector<unsigned char> memA, memB;
    AddCam(1, 2, 2, 24, memA);
    AddCam(2, 2, 2, 24, memB);
    gMyCams[1].m_bLive = false;
    Frame(gMyCams[0], 2);  // not live
    Frame(gMyCams[0], 77); // no record has it
    EXPECT_EQ(TakeLog(), "MyGetFrameBuffer received non live frame: 2\n"
                         "MyIsStreamLive unable to find camId\n"
                         "MyGetFrameBuffer received non live frame: 77\n");
    ASSERT_EQ(gDeliveries.size(), 2u);
    EXPECT_EQ(gDeliveries[1].bytes, memA) << "converted from the current record";
}

TEST_F(FrameHandoff, SlowFramesWriteTheIntervalLine) {
    std::vector<unsigned char> memory;
    MyCam& cam = AddCam(1, 2, 2, 8, memory);
    cam.m_dwLastFrameTick = GetTickCount() - 1500;
    Frame(cam, 1);
    const std::string line = TakeLog();
    EXPECT_EQ(line.rfind("***** UEYECAM IS_UEYE_MESSAGE m_nBitsPerPixel=8 time=15", 0), 0u) << line;
    Frame(cam, 1);
    EXPECT_EQ(TakeLog(), "") << "the interval is measured from the previous frame";
}

TEST_F(FrameHandoff, HugeSizeIsRefusedWithoutDelivery) {
    std::vector<unsigned char> memory;
    MyCam& cam = AddCam(1, 2, 2, 24, memory);
    cam.m_nSizeX = 40000;
    cam.m_nSizeY = 40000; // 4.8e9 bytes: beyond any frame buffer
    Frame(cam, 1);
    EXPECT_TRUE(gDeliveries.empty());
    EXPECT_EQ(TakeLog(), "MyGetFrameBuffer frame too large: 40000x40000\n");
    EXPECT_EQ(gFrameEventCount, 1);
}

TEST_F(FrameHandoff, OtherMessagesGoToTheDefaultProcedure) {
    std::vector<unsigned char> memory;
    MyCam& cam = AddCam(1, 2, 2, 24, memory);
    // Events 2 and unknown codes do nothing and answer 0.
    EXPECT_EQ(OnUEyeMessage(cam, nullptr, IS_UEYE_MESSAGE, 2, 1), 0);
    EXPECT_EQ(OnUEyeMessage(cam, nullptr, IS_UEYE_MESSAGE, 12345, 1), 0);
    EXPECT_TRUE(gDeliveries.empty());
    EXPECT_EQ(gFrameEventCount, 0);
    EXPECT_EQ(TakeLog(), "");
}

} // namespace
