// The frame path on records made by the test: buffers, conversion, the order of events, skipping
// and counting.
#include "acquisition/cam_thread.h"
#include "acquisition/frame_handoff.h"
#include "infra/globals.h"
#include "infra/trv_log.h"
#include "log_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

extern "C" void* __imp_GetTickCount; // the import address the plug-in code calls through

namespace {

struct Delivery {
    unsigned char* pixels;
    int32_t width, height, size;
    intptr_t reserved;
    int32_t reserved2;
    std::vector<unsigned char> bytes;
    bool lockFree; // another thread could take the command lock during the callback
};

std::vector<Delivery> gDeliveries;

void RecordFrame(unsigned char* pixels, int32_t width, int32_t height, int32_t size,
                 intptr_t reserved, int32_t reserved2) {
    bool lockFree = false;
    std::thread([&] {
        lockFree = TryEnterCriticalSection(&gCmdLock) != 0;
        if (lockFree) {
            LeaveCriticalSection(&gCmdLock);
        }
    }).join();
    Delivery d{pixels, width, height, size, reserved, reserved2, {}, lockFree};
    if (pixels != nullptr && size > 0) {
        d.bytes.assign(pixels, pixels + size);
    }
    gDeliveries.push_back(d);
}

class FrameHandoff : public testing::Test {
  protected:
    void SetUp() override {
        gDeliveries.clear();
        gFrameCallback = &RecordFrame;
        gMyCams.reserve(2); // records stay where they are while a test holds them
        log.Drain();
    }
    void TearDown() override {
        for (MyCam& cam : gMyCams) {
            delete[] cam.m_pcFrameBufferA;
            delete[] cam.m_pcFrameBufferB;
        }
        gMyCams.clear();
        gCurCamIndex = 0;
        gFrameCallback = nullptr;
        gErrorCallback = nullptr;
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
    LRESULT Frame(MyCam& cam, uint32_t from, WPARAM event = 0) {
        return OnUEyeMessage(cam, nullptr, IS_UEYE_MESSAGE, event, from);
    }
    std::string TakeLog() { return ToUtf8(log.Drain()); }

    LogReader log;
};

TEST_F(FrameHandoff, BuffersAlternateAndFollowTheSize) {
    std::vector<unsigned char> memory, mono;
    MyCam& cam = AddCam(7, 5, 3, 24, memory);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Frame(cam, 7), 0);
    }
    EXPECT_EQ(Frame(cam, 7, 2), 0) << "other events deliver nothing";
    ASSERT_EQ(gDeliveries.size(), 3u);
    EXPECT_NE(gDeliveries[0].pixels, gDeliveries[1].pixels);
    EXPECT_EQ(gDeliveries[2].pixels, gDeliveries[0].pixels) << "the third reuses the first";
    for (const Delivery& d : gDeliveries) {
        EXPECT_EQ(d.width * 100 + d.height, 503);
        EXPECT_EQ(d.size, 45);
        EXPECT_TRUE(d.lockFree) << "the callback runs outside the command lock";
        EXPECT_EQ(d.reserved + d.reserved2, 0);
        EXPECT_EQ(d.bytes, memory) << "24-bit frames are the image memory unchanged";
    }
    cam.m_nSizeX = 2; // smaller: the memory still holds enough bytes
    Frame(cam, 7);
    EXPECT_EQ(gDeliveries.back().size, 2 * 3 * 3);
    EXPECT_EQ(cam.m_nFrameBufferSize, 18);
    EXPECT_EQ(gDeliveries.back().bytes,
              std::vector<unsigned char>(memory.begin(), memory.begin() + 18));
    cam.m_pcImageMemory = nullptr;
    Frame(cam, 7);
    EXPECT_EQ(gDeliveries.back().pixels, nullptr) << "no image memory: no pixels";
    EXPECT_EQ(gDeliveries.back().width, 2);
    cam.m_pcImageMemory = reinterpret_cast<char*>(memory.data());
    cam.m_nSizeX = 0;
    Frame(cam, 7);
    EXPECT_EQ(gDeliveries.back().pixels, nullptr) << "no pixels: no buffer";
    EXPECT_EQ(gDeliveries.back().size, 0);
    cam.m_nSizeX = 40000;
    for (int32_t h : {40000, -40000}) { // 4.8e9 bytes: beyond any frame buffer
        cam.m_nSizeY = h;
        Frame(cam, 7);
    }
    EXPECT_EQ(gDeliveries.size(), 6u);
    EXPECT_EQ(TakeLog(), "MyGetFrameBuffer frame too large: 40000x40000\n"
                         "MyGetFrameBuffer frame too large: 40000x-40000\n");

    MyCam& gray = AddCam(3, 7, 2, 8, mono);
    gCurCamIndex = 1; // frames are taken from the current camera's record
    Frame(gray, 3);
    ASSERT_EQ(gDeliveries.back().size, 7 * 2 * 3);
    for (size_t i = 0; i < mono.size(); ++i) {
        EXPECT_EQ(gDeliveries.back().bytes[3 * i + 2], mono[i]) << i;
    }
}

DWORD WINAPI FrozenTick() {
    return 100000;
}

// Camera events posted to a real window in one go, then taken by a message loop as the camera
// thread's: a frame is skipped only when the next camera event is a newer frame of the same live
// camera (1; 2 is not live, 7 has no record); every other event comes where it was posted. The
// callbacks write into the log, so one text shows their order beside the plug-in's lines.
TEST_F(FrameHandoff, EventsAreHandledInTheOrderPosted) {
    std::vector<unsigned char> memA, memB;
    MyCam& cam = AddCam(1, 2, 2, 24, memA);
    AddCam(2, 2, 2, 24, memB).m_bLive = false;
    gFrameCallback = [](unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {
        gLog.Write("frame ");
        LogUInt(gLastFrameCam);
        gLog.Write("\n");
    };
    gErrorCallback = [] { gLog.Write("error\n"); };
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CamWndProc;
    wc.lpszClassName = L"EventOrder";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowExW(0, L"EventOrder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                               nullptr);
    ASSERT_NE(wnd, nullptr);
    DWORD protect = 0; // every tick the same: no slow-frame line but the one a case asks for
    ASSERT_TRUE(VirtualProtect(&__imp_GetTickCount, sizeof(void*), PAGE_READWRITE, &protect));
    void* const realTick = std::exchange(__imp_GetTickCount, reinterpret_cast<void*>(&FrozenTick));
    const std::string f1 = "frame 1\n",
                      f2 = "MyGetFrameBuffer received non live frame: 2\nframe 2\n",
                      f7 = "MyIsStreamLive unable to find camId\n"
                           "MyGetFrameBuffer received non live frame: 7\nframe 7\n",
                      t = "OnUEyeMessage IS_TRANSFER_FAILED\nIsTransferFailed ERROR: "
                          "is_CaptureStatus=1\nerror\n",
                      g = "OnUEyeMessage IS_GENERIC_ERROR\nerror\n";
    // Events: F frame (0), N (2), T transfer failure (3), D (4), G generic error (7), X (4096),
    // each with the handle of its camera.
    const struct {
        const char* events;
        std::string log;
        DWORD sinceLastFrame = 0;
        bool live = true; // camera 1
    } cases[] = {
        {"F1 T1 F1 F1", f1 + t + f1},
        {"F1 F2 F1 F1 F2 F2", f1 + f2 + f1 + f2 + f2},
        {"F1 D1 F1 X1 N1 F1 F1", f1 + f1 + f1},
        {"F1 G1 T1 F1 F1", f1 + g + t + f1},
        {"F7 F7 F1 F1", f7 + f7 + f1},
        {"F1 F1", "***** UEYECAM IS_UEYE_MESSAGE m_nBitsPerPixel=24 time=600\n" + f1, 600},
        {"F1 F1",
         "MyGetFrameBuffer received non live frame: 1\n" + f1 + // not live: both
             "MyGetFrameBuffer received non live frame: 1\n" + f1,
         0, false},
    };
    for (const auto& c : cases) {
        cam.m_dwLastFrameTick = FrozenTick() - c.sinceLastFrame;
        cam.m_bLive = c.live;
        gFrameEventCount = 0;
        LONG frames = 0;
        uint32_t last = 0;
        for (const char* e = c.events; *e != 0; e += e[2] == 0 ? 2 : 3) {
            const WPARAM code = std::string("F.NTD..G").find(e[0]); // the position is the code
            const LPARAM from = e[1] - '0';
            PostMessageW(wnd, IS_UEYE_MESSAGE, code == std::string::npos ? 4096 : code, from);
            frames += code == 0 ? 1 : 0;
            last = code == 0 ? static_cast<uint32_t>(from) : last;
        }
        PostMessageW(wnd, WM_APP, 0, 0);
        MSG m;
        while (GetMessageW(&m, wnd, 0, 0) > 0 && m.message != WM_APP) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        EXPECT_EQ(TakeLog(), c.log) << c.events;
        EXPECT_EQ(gFrameEventCount, frames) << c.events << ": skipped frames count too";
        EXPECT_EQ(gLastFrameCam, last) << c.events;
        bool free = false; // the stream mutex is left on every way out, for another thread
        std::thread([&free] {
            HANDLE m = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, L"UEYECAM");
            free = m != nullptr && WaitForSingleObject(m, 0) == WAIT_OBJECT_0;
            ReleaseMutex(m);
            CloseHandle(m);
        }).join();
        EXPECT_TRUE(free) << c.events;
    }
    __imp_GetTickCount = realTick;
    DestroyWindow(wnd);
}

} // namespace
