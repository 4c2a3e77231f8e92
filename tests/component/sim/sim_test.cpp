// The simulated camera library answers as a camera would and journals every call.
#include "sim_control.h"
#include "ueye/ueye_api.h"

#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using trvtest::Calls;
using trvtest::Journal;

int Add(const SimCamera& c) {
    return sim_add_camera(&c);
}

class Sim : public testing::Test {
  protected:
    void SetUp() override { sim_reset(); }
    void TearDown() override { sim_reset(); }
};

TEST_F(Sim, NoCameraUntilOneIsConfigured) {
    int32_t count = -1;
    EXPECT_EQ(is_CameraCount(&count), 0);
    EXPECT_EQ(count, 0);
    UeyeHandle h = 0;
    EXPECT_NE(is_CameraInit(&h, nullptr), 0);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(Journal(),
              (std::vector<std::string>{"is_CameraCount -> 0 count=0",
                                        "is_CameraInit id=0x0 hWnd=0000000000000000 -> 3 hCam=0"}));
}

TEST_F(Sim, ListsCamerasWithinTheBufferGiven) {
    Add(sim_camera("SERIAL0123456789", 1, 2, 640,
                   480)); // 16 characters: no terminator in the entry
    Add(sim_camera("B", 1001, 2, 640, 480));
    std::vector<unsigned char> list(4 + 112 * 1, 0xEE);
    const uint32_t asked = 1;
    std::memcpy(list.data(), &asked, 4);
    ASSERT_EQ(is_CameraList(list.data()), 0);
    UeyeCameraEntry e;
    std::memcpy(&e, list.data() + 4, sizeof e);
    EXPECT_EQ(std::string(e.szSerNo, 16), "SERIAL0123456789");
    EXPECT_EQ(e.nDeviceId, 1u);
}

TEST_F(Sim, OpensByDeviceIdOrFirstFreeAndRefusesClosedHandles) {
    Add(sim_camera("A", 5, 2, 640, 480));
    Add(sim_camera("B", 9, 2, 640, 480));
    UeyeHandle byId = 9 | ueye::kOpenByDeviceId;
    ASSERT_EQ(is_CameraInit(&byId, nullptr), 0);
    UeyeHandle first = 0;
    ASSERT_EQ(is_CameraInit(&first, nullptr), 0);
    EXPECT_NE(first, byId);
    UeyeSensorInfo info;
    EXPECT_EQ(is_SensorInfo(byId, &info), 0);
    EXPECT_EQ(info.nMaxWidth, 640u);
    EXPECT_EQ(is_CameraExit(byId), 0);
    EXPECT_NE(is_SensorInfo(byId, &info), 0) << "a closed handle is refused";
    EXPECT_EQ(Journal().back(), "is_SensorInfo hCam=" + std::to_string(byId) + " -> 1");
}

TEST_F(Sim, FaultsApplyToTheNextCallsOnly) {
    Add(sim_camera("A", 5, 2, 640, 480));
    sim_fail("is_CameraInit", 184, 2);
    UeyeHandle h = 0;
    EXPECT_EQ(is_CameraInit(&h, nullptr), 184);
    EXPECT_EQ(is_CameraInit(&h, nullptr), 184);
    EXPECT_EQ(is_CameraInit(&h, nullptr), 0);
    EXPECT_NE(h, 0u);
}

TEST_F(Sim, ImageMemoryIsRealMemory) {
    Add(sim_camera("A", 5, 2, 640, 480));
    UeyeHandle h = 0;
    ASSERT_EQ(is_CameraInit(&h, nullptr), 0);
    char* mem = nullptr;
    int32_t id = 0;
    ASSERT_EQ(is_ImageMemAlloc(h, 64, 32, 24, &mem, &id), 0);
    ASSERT_NE(mem, nullptr);
    std::memset(mem, 0x5A, 64 * 32 * 3); // the whole block is writable
    EXPECT_EQ(is_ImageMemActivate(h, mem, id), 0);
    EXPECT_EQ(is_ImageMemFree(h, mem, id), 0);
    EXPECT_NE(is_ImageMemAlloc(h, -1, 32, 24, &mem, &id), 0);
}

// An open camera of 2048 x 1536 with the default limits: minimal size 32 x 4, size steps
// 4 x 2, position steps 2 x 2, origin 0.
class SimCamera2048 : public Sim {
  protected:
    void SetUp() override {
        Sim::SetUp();
        index = Add(sim_camera("A", 5, 2, 2048, 1536));
        ASSERT_EQ(is_CameraInit(&h, nullptr), 0);
    }
    std::string Query(const char* key) {
        char buf[128] = {};
        return sim_query(index, key, buf, sizeof buf) >= 0 ? buf : "?";
    }
    std::wstring WriteFile(const std::string& text) {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        path = std::wstring(dir) + L"sim_parameters_" + std::to_wstring(GetCurrentProcessId()) +
               L".ini";
        FILE* f = _wfopen(path.c_str(), L"wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        return path;
    }
    void TearDown() override {
        if (!path.empty()) {
            DeleteFileW(path.c_str());
        }
        Sim::TearDown();
    }
    int index = 0;
    UeyeHandle h = 0;
    std::wstring path;
};

TEST_F(SimCamera2048, AcceptsOnlyAreasWithinItsLimitsAndSteps) {
    struct Case {
        int32_t x, y, w, h;
        bool accepted;
    };
    const Case cases[] = {
        {0, 0, 2048, 1536, true},  {102, 50, 1000, 502, true}, {0, 0, 32, 4, true},
        {0, 0, 28, 4, false},      {0, 0, 32, 2, false},       {0, 0, 1002, 500, false},
        {0, 0, 1000, 501, false},  {1, 0, 1000, 500, false},   {0, 3, 1000, 500, false},
        {1048, 0, 1000, 2, false}, {1048, 0, 1000, 4, true},   {-2, 0, 64, 64, false},
        {0, 1534, 64, 4, false},   {0, 1532, 64, 4, true},     {0, 0, 2052, 4, false},
    };
    int32_t last[4] = {0, 0, 2048, 1536};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h);
        int32_t r[4] = {c.x, c.y, c.w, c.h};
        EXPECT_EQ(is_AOI(h, ueye::kAoiSetRect, r, sizeof r) == 0, c.accepted);
        int32_t back[4] = {};
        ASSERT_EQ(is_AOI(h, ueye::kAoiGetRect, back, sizeof back), 0);
        if (c.accepted) {
            std::memcpy(last, r, sizeof last);
        }
        EXPECT_EQ(std::vector<int32_t>(back, back + 4), std::vector<int32_t>(last, last + 4));
    }
    int32_t pair[2] = {};
    EXPECT_NE(is_AOI(h, ueye::kAoiGetSizeMax, pair, 4), 0) << "a parameter of the wrong size";
    EXPECT_NE(is_AOI(h, 99, pair, sizeof pair), 0);
}

TEST_F(SimCamera2048, ImageSizeIsSetInDeliveredPixels) {
    ASSERT_EQ(sim_configure(index, "binning", "0x3"), 0); // 2 x 2
    int32_t size[2] = {512, 384};
    ASSERT_EQ(is_AOI(h, ueye::kAoiSetSize, size, sizeof size), 0);
    EXPECT_EQ(Query("aoi"), "0 0 1024 768");
    ASSERT_EQ(is_AOI(h, ueye::kAoiGetSize, size, sizeof size), 0);
    EXPECT_EQ(size[0], 1024) << "the size read back is the area's, before binning";
    EXPECT_EQ(is_Binning(h, ueye::kQuery), 3);
}

TEST_F(SimCamera2048, ExposureStaysWithinTheRangeAndOneFramePeriod) {
    ASSERT_EQ(sim_configure(index, "fps", "50"), 0);
    struct Case {
        double asked, applied;
    };
    const Case cases[] = {{10.0, 10.0}, {30.0, 20.0}, {0.0, 0.01}, {-5.0, 0.01}, {1e9, 20.0}};
    for (const Case& c : cases) {
        double v = c.asked;
        ASSERT_EQ(is_Exposure(h, ueye::kExposureSet, &v, 8), 0);
        EXPECT_EQ(v, c.applied) << c.asked;
    }
    double fps = 0.0;
    ASSERT_EQ(is_FrameRate(h, 100.0, &fps), 0);
    EXPECT_EQ(fps, 100.0);
    double exposure = 0.0;
    ASSERT_EQ(is_Exposure(h, ueye::kExposureGet, &exposure, 8), 0);
    EXPECT_EQ(exposure, 10.0) << "a faster frame rate shortens the exposure";
    ASSERT_EQ(is_FrameRate(h, 5000.0, &fps), 0);
    EXPECT_EQ(fps, 1000.0) << "the shortest frame time";
    ASSERT_EQ(is_FrameRate(h, 0.0, &fps), 0);
    EXPECT_EQ(fps, 1.0) << "the longest frame time";
    ASSERT_EQ(is_FrameRate(h, ueye::kQueryFrameRate, &fps), 0);
    EXPECT_EQ(fps, 1.0);
}

TEST_F(SimCamera2048, TriggerModesOnlyAsSupported) {
    EXPECT_EQ(is_TriggerMode(h, ueye::kQuery), 0) << "free run at first";
    EXPECT_EQ(is_TriggerMode(h, IS_SET_TRIGGER_LO_HI), 0);
    EXPECT_EQ(is_TriggerMode(h, ueye::kQuery), IS_SET_TRIGGER_LO_HI);
    ASSERT_EQ(sim_configure(index, "trigger_supported", "0x1008"), 0);
    EXPECT_NE(is_TriggerMode(h, IS_SET_TRIGGER_HI_LO), 0);
    EXPECT_EQ(is_TriggerMode(h, ueye::kQuery), IS_SET_TRIGGER_LO_HI) << "unchanged";
    EXPECT_EQ(is_TriggerMode(h, ueye::kQuerySupportedTrigger), 0x1008);
}

TEST_F(SimCamera2048, OutputsWithinTheCameraLimits) {
    ASSERT_EQ(sim_configure(index, "io_limits", "5000 10000"), 0);
    double limit[2] = {};
    ASSERT_EQ(is_IO(h, ueye::kIoOutputMin, limit, 16), 0);
    EXPECT_EQ(limit[0], 5000.0);
    ASSERT_EQ(is_IO(h, ueye::kIoOutputMax, limit, 16), 0);
    EXPECT_EQ(limit[0], 10000.0);
    double level[2] = {20000.0, 0.5};
    EXPECT_NE(is_IO(h, ueye::kIoOutputLevel, level, 16), 0) << "a base above the upper limit";
    level[0] = 10000.0;
    EXPECT_EQ(is_IO(h, ueye::kIoOutputLevel, level, 16), 0);
    uint32_t apply = 2;
    EXPECT_EQ(is_IO(h, ueye::kIoOutputApply, &apply, 4), 0);
    apply = 1;
    EXPECT_NE(is_IO(h, ueye::kIoOutputApply, &apply, 4), 0);
    uint32_t config[16] = {1, 0, 2, 1};
    EXPECT_EQ(is_IO(h, ueye::kIoOutputConfig, config, 64), 0);
    config[3] = 2;
    EXPECT_NE(is_IO(h, ueye::kIoOutputConfig, config, 64), 0) << "there are two outputs";
    EXPECT_EQ(Query("output"), "1 10000 0.5 1");
    uint32_t strobe = 3;
    EXPECT_NE(is_IO(h, ueye::kIoStrobe, &strobe, 4), 0);
    strobe = 2;
    EXPECT_EQ(is_IO(h, ueye::kIoStrobe, &strobe, 4), 0);
    EXPECT_EQ(Query("strobe"), "2");
}

TEST_F(SimCamera2048, UserMemoryIsReadWithinWhatTheCameraHolds) {
    ASSERT_EQ(sim_configure(index, "user_memory", "01 02 03 04 05"), 0);
    uint32_t size = 0;
    ASSERT_EQ(is_CameraMemory(h, ueye::kMemorySize, &size, 4), 0);
    EXPECT_EQ(size, 5u);
    unsigned char buffer[8] = {};
    UeyeMemoryRead request = {};
    request.nOffset = 1;
    request.nCount = 4;
    request.nBufferAddress = reinterpret_cast<uintptr_t>(buffer);
    ASSERT_EQ(is_CameraMemory(h, ueye::kMemoryRead, &request, sizeof request), 0);
    EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 5),
              (std::vector<unsigned char>{2, 3, 4, 5, 0}));
    request.nCount = 5;
    EXPECT_NE(is_CameraMemory(h, ueye::kMemoryRead, &request, sizeof request), 0) << "past the end";
    ASSERT_EQ(sim_configure(index, "user_memory_size", "64"), 0);
    ASSERT_EQ(is_CameraMemory(h, ueye::kMemorySize, &size, 4), 0);
    EXPECT_EQ(size, 64u) << "a camera that reports more than it holds";
}

TEST_F(SimCamera2048, ParameterFilesOfItsOwnFormat) {
    struct Case {
        const char* text;
        bool loads;
    };
    const Case cases[] = {
        {"[sim-camera-parameters]\naoi=0 0 640 480\nbinning=0x3\nexposure=12.5\nfps=25\n", true},
        {"; comment\n\n[sim-camera-parameters]\r\naoi = 2 2 64 64 ; here\r\n", true},
        {"[sim-camera-parameters]\n", true},
        {"aoi=0 0 640 480\n", false},                          // no section
        {"[parameters]\naoi=0 0 640 480\n", false},            // another section
        {"[sim-camera-parameters]\nserial=X\n", false},        // not a parameter
        {"[sim-camera-parameters]\naoi=0 0 640\n", false},     // three values
        {"[sim-camera-parameters]\naoi=0 0 641 480\n", false}, // off the size step
        {"[sim-camera-parameters]\nfps=0\n", false},
        {"[sim-camera-parameters]\nbinning\n", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(sim_configure(index, "aoi", "0 0 2048 1536"), 0);
        const std::wstring file = WriteFile(c.text);
        const int32_t result =
            is_ParameterFile(h, ueye::kParameterLoad, const_cast<wchar_t*>(file.c_str()), 0);
        EXPECT_EQ(result == 0, c.loads) << result;
        if (!c.loads) {
            EXPECT_EQ(Query("aoi"), "0 0 2048 1536") << "nothing changes";
        }
    }
    EXPECT_EQ(Query("aoi"), "0 0 2048 1536");
    WriteFile(cases[0].text);
    ASSERT_EQ(is_ParameterFile(h, ueye::kParameterLoad, const_cast<wchar_t*>(path.c_str()), 0), 0);
    EXPECT_EQ(Query("aoi"), "0 0 640 480");
    EXPECT_EQ(Query("binning"), "0x3");
    EXPECT_EQ(Query("exposure"), "12.5");
    EXPECT_EQ(Query("fps"), "25");
    const wchar_t* missing = L"C:\\no\\such\\file.ini";
    EXPECT_NE(is_ParameterFile(h, ueye::kParameterLoad, const_cast<wchar_t*>(missing), 0), 0);
}

TEST_F(SimCamera2048, LiveFramesFillMemoryOfTheRightSizeOrReportAFailedTransfer) {
    ASSERT_EQ(sim_configure(index, "fps", "200"), 0);
    ASSERT_EQ(sim_configure(index, "aoi", "0 0 64 32"), 0);
    char* mem = nullptr;
    int32_t id = 0;
    EXPECT_NE(is_CaptureVideo(h, 1), 0) << "no active memory";
    ASSERT_EQ(is_ImageMemAlloc(h, 64, 32, 24, &mem, &id), 0);
    ASSERT_EQ(is_ImageMemActivate(h, mem, id), 0);
    ASSERT_EQ(is_CaptureVideo(h, 1), 0);
    for (int i = 0; i < 400 && sim_frames_posted(index) < 3; ++i) {
        Sleep(5);
    }
    ASSERT_GE(sim_frames_posted(index), 3u);
    ASSERT_EQ(is_StopLiveVideo(h, 1), 0);
    const uint32_t frame = sim_frames_posted(index);
    EXPECT_GT(sim_post_time_us(index, frame), 0);
    EXPECT_EQ(sim_post_time_us(index, frame + 1), -1);
    uint32_t first = 0, last = 0;
    std::memcpy(&first, mem, 4);
    std::memcpy(&last, mem + 64 * 32 * 3 - 4, 4);
    EXPECT_EQ(first, frame);
    EXPECT_EQ(last, frame);
    // An area that no longer fits the memory: nothing is written, the failure is counted.
    ASSERT_EQ(sim_configure(index, "aoi", "0 0 128 32"), 0);
    ASSERT_EQ(is_CaptureVideo(h, 1), 0);
    SimStats stats = {};
    for (int i = 0; i < 400 && stats.transferFailures < 2; ++i) {
        Sleep(5);
        sim_stats(&stats);
    }
    ASSERT_EQ(is_StopLiveVideo(h, 1), 0);
    EXPECT_GE(stats.transferFailures, 2u);
    EXPECT_EQ(sim_frames_posted(index), frame);
    UeyeCaptureStatus status = {};
    ASSERT_EQ(is_CaptureStatus(h, ueye::kCaptureStatusGet, &status, sizeof status), 0);
    EXPECT_GE(status.anCount[0xA2], 2u);
    EXPECT_EQ(status.nTotal, status.anCount[0xA2]);
}

// The picture of a 2048 x 1536 sensor: bars 256 pixels wide in rows 0 to 511 (white, yellow,
// cyan, ...), below them red = x * 255 / 2047, green = (y - 512) * 255 / 1023, blue = 255 -
// (red + green) / 2. An image shows the part of the sensor its area, factors and mode select.
TEST_F(SimCamera2048, PictureShowsThePartOfTheSensorTheImageCovers) {
    struct Case {
        const char* what;
        const char* aoi;
        const char* binning;
        const char* subsampling;
        int32_t colorMode, width, height; // of the image
        int32_t u, v;                     // an image pixel (row 0 starts with the number)
        uint8_t b, g, r;                  // and its bytes (b alone when monochrome)
    } cases[] = {
        {"bars, yellow before cyan", "256 0 512 32", "0", "0", 1, 512, 32, 0, 1, 0, 255, 255},
        {"bars, cyan", "256 0 512 32", "0", "0", 1, 512, 32, 256, 31, 255, 255, 0},
        {"gradient at an offset", "1024 1100 64 32", "0", "0", 1, 64, 32, 10, 5, 118, 147, 128},
        {"binning by 2", "1024 1100 128 64", "0x3", "0", 1, 64, 32, 60, 30, 104, 161, 142},
        {"binning by 3 averages white and yellow", "254 0 96 32", "0x30", "0", 1, 32, 10, 0, 1, 170,
         255, 255},
        {"subsampling by 3 skips", "254 0 96 32", "0", "0x30", 1, 32, 10, 1, 0, 0, 255, 255},
        {"monochrome yellow", "256 0 64 32", "0", "0", 6, 64, 32, 0, 1, 226, 0, 0},
    };
    // One frame a trigger: the moving bar stays left of x = 300 for the first frames.
    ASSERT_EQ(sim_configure(index, "trigger", "1"), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(sim_configure(index, "aoi", c.aoi), 0);
        ASSERT_EQ(sim_configure(index, "binning", c.binning), 0);
        ASSERT_EQ(sim_configure(index, "subsampling", c.subsampling), 0);
        ASSERT_EQ(is_ColorMode(h, c.colorMode), 0);
        const int32_t bytes = c.colorMode == 1 ? 3 : 1;
        char* mem = nullptr;
        int32_t id = 0;
        ASSERT_EQ(is_ImageMemAlloc(h, c.width, c.height, 8 * bytes, &mem, &id), 0);
        ASSERT_EQ(is_ImageMemActivate(h, mem, id), 0);
        const uint32_t before = sim_frames_posted(index);
        ASSERT_EQ(is_CaptureVideo(h, 1), 0);
        ASSERT_EQ(sim_hardware_trigger(index), 0);
        for (int i = 0; i < 400 && sim_post_time_us(index, before + 1) < 0; ++i) {
            Sleep(5); // posted once written
        }
        ASSERT_EQ(is_StopLiveVideo(h, 1), 0);
        ASSERT_EQ(sim_frames_posted(index), before + 1);
        const auto* p = reinterpret_cast<const uint8_t*>(mem) + (c.v * c.width + c.u) * bytes;
        EXPECT_EQ(p[0], c.b);
        if (bytes == 3) {
            EXPECT_EQ(p[1], c.g);
            EXPECT_EQ(p[2], c.r);
        }
        ASSERT_EQ(is_ImageMemFree(h, mem, id), 0);
    }
}

TEST_F(SimCamera2048, MemoryCountersShowLeaksAndBadFrees) {
    char* a = nullptr;
    char* b = nullptr;
    int32_t ida = 0, idb = 0;
    ASSERT_EQ(is_ImageMemAlloc(h, 64, 32, 8, &a, &ida), 0);
    ASSERT_EQ(is_ImageMemAlloc(h, 64, 32, 8, &b, &idb), 0);
    EXPECT_EQ(is_ImageMemFree(h, a, ida), 0);
    EXPECT_NE(is_ImageMemFree(h, a, ida), 0) << "freed twice";
    EXPECT_NE(is_ImageMemActivate(h, b, ida), 0) << "the id of another block";
    SimStats s = {};
    sim_stats(&s);
    EXPECT_EQ(s.allocations, 2);
    EXPECT_EQ(s.frees, 1);
    EXPECT_EQ(s.badFrees, 1);
    EXPECT_EQ(s.liveBlocks, 1);
    ASSERT_EQ(is_CameraExit(h), 0);
    EXPECT_NE(is_CaptureVideo(h, 1), 0);
    sim_stats(&s);
    EXPECT_EQ(s.freedByExit, 1) << "the block left behind";
    EXPECT_EQ(s.liveBlocks, 0);
    EXPECT_EQ(s.closedHandleCalls, 1);
}

TEST_F(Sim, ConfigureRefusesUnknownKeysAndBadValues) {
    const int i = Add(sim_camera("A", 5, 2, 640, 480));
    EXPECT_EQ(sim_configure(i, "no_such_key", "1"), -1);
    EXPECT_EQ(sim_configure(i, "aoi", "1 2 3"), -1);
    EXPECT_EQ(sim_configure(i, "binning", "0xZZ"), -1);
    EXPECT_EQ(sim_configure(i, "fps", "fast"), -1);
    EXPECT_EQ(sim_configure(i + 1, "fps", "5"), -1) << "no such camera";
    EXPECT_EQ(sim_configure(-1, "count_extra", "2"), 0);
    int32_t count = 0;
    ASSERT_EQ(is_CameraCount(&count), 0);
    EXPECT_EQ(count, 3);
    char buf[4];
    EXPECT_EQ(sim_query(i, "aoi", buf, sizeof buf), 11) << "the whole length, cut to the buffer";
    EXPECT_STREQ(buf, "0 0");
}

} // namespace
