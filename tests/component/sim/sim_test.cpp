// What the plug-in's tests rely on from the simulated camera: a simulator that took what a
// camera refuses, or lost count of memory and frames, would hide a fault of the plug-in.
#include "sim_control.h"
#include "ueye/ueye_api.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// An open camera of 2048 x 1536 with the default limits: minimal size 32 x 4, size steps
// 4 x 2, position steps 2 x 2, origin 0.
class Sim : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        const SimCamera c = sim_camera("A", 5, 2, 2048, 1536);
        index = sim_add_camera(&c);
        ASSERT_EQ(is_CameraInit(&h, nullptr), 0);
    }
    void TearDown() override { sim_reset(); }
    std::string Query(const char* key) {
        char buf[128] = {};
        return sim_query(index, key, buf, sizeof buf) >= 0 ? buf : "?";
    }
    int index = 0;
    UeyeHandle h = 0;
};

TEST_F(Sim, RefusesWhatACameraRefusesAndKeepsWhatItHad) {
    const char* rects[] = {"0 0 2048 1536 1", "102 50 1000 502 1", "0 0 32 4 1",
                           "0 0 28 4 0",      "0 0 32 2 0",        "0 0 1002 500 0",
                           "0 0 1000 501 0",  "1 0 1000 500 0",    "0 3 1000 500 0",
                           "1048 0 1000 4 1", "1050 0 1000 4 0",   "-2 0 64 64 0",
                           "0 1534 64 4 0",   "0 1532 64 4 1"};
    std::string last = "0 0 2048 1536";
    for (const char* row : rects) {
        int32_t r[4];
        int accepted = 0;
        ASSERT_EQ(std::sscanf(row, "%d %d %d %d %d", &r[0], &r[1], &r[2], &r[3], &accepted), 5);
        EXPECT_EQ(is_AOI(h, ueye::kAoiSetRect, r, sizeof r) == 0, accepted == 1) << row;
        if (accepted == 1) {
            last = std::string(row, std::strlen(row) - 2);
        }
        EXPECT_EQ(Query("aoi"), last) << row;
    }
    int32_t pair[2] = {};
    EXPECT_NE(is_AOI(h, ueye::kAoiGetSizeMax, pair, 4), 0) << "a parameter of the wrong size";
    EXPECT_NE(sim_configure(index, "no_such_key", "1"), 0);
    EXPECT_NE(sim_configure(index, "aoi", "1 2 3"), 0);
    ASSERT_EQ(sim_configure(index, "fps", "50"), 0);
    for (double asked : {30.0, -5.0}) {
        double v = asked;
        ASSERT_EQ(is_Exposure(h, ueye::kExposureSet, &v, 8), 0);
        EXPECT_EQ(v, asked > 0 ? 20.0 : 0.01) << "within the range and one frame period";
    }
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, path);
    const std::wstring file = path + std::wstring(L"sim_parameters.ini");
    for (const char* text :
         {"[parameters]\naoi=0 0 640 480\n", "[sim-camera-parameters]\naoi=0 0 641 480\n",
          "[sim-camera-parameters]\naoi=0 0 640 480\n"}) {
        FILE* f = _wfopen(file.c_str(), L"wb");
        ASSERT_NE(f, nullptr);
        std::fputs(text, f);
        std::fclose(f);
        const bool loads = std::strstr(text, "sim-camera") != nullptr && !std::strstr(text, "641");
        EXPECT_EQ(
            is_ParameterFile(h, ueye::kParameterLoad, const_cast<wchar_t*>(file.c_str()), 0) == 0,
            loads);
        EXPECT_EQ(Query("aoi"), loads ? "0 0 640 480" : last) << text;
    }
    DeleteFileW(file.c_str());
}

TEST_F(Sim, CountsMemoryAndWritesOnlyFramesThatFit) {
    ASSERT_EQ(sim_configure(index, "fps", "200"), 0);
    ASSERT_EQ(sim_configure(index, "aoi", "0 0 64 32"), 0);
    char* mem = nullptr;
    char* other = nullptr;
    int32_t id = 0, otherId = 0;
    EXPECT_NE(is_CaptureVideo(h, 1), 0) << "no active memory";
    ASSERT_EQ(is_ImageMemAlloc(h, 64, 32, 24, &mem, &id), 0);
    ASSERT_EQ(is_ImageMemAlloc(h, 64, 32, 8, &other, &otherId), 0);
    EXPECT_EQ(is_ImageMemFree(h, other, otherId), 0);
    EXPECT_NE(is_ImageMemFree(h, other, otherId), 0) << "freed twice";
    EXPECT_NE(is_ImageMemActivate(h, mem, otherId), 0) << "the id of another block";
    ASSERT_EQ(is_ImageMemActivate(h, mem, id), 0);
    ASSERT_EQ(is_CaptureVideo(h, 1), 0);
    for (int i = 0; i < 2000 && sim_frames_posted(index) < 3; ++i) {
        Sleep(5);
    }
    ASSERT_EQ(is_StopLiveVideo(h, 1), 0);
    const uint32_t frame = sim_frames_posted(index);
    ASSERT_GE(frame, 3u);
    for (size_t i = 0; i < 64 * 32 * 3; ++i) {
        ASSERT_EQ(static_cast<uint8_t>(mem[i]), sim_pattern_byte(frame, i)) << i;
    }
    ASSERT_EQ(sim_configure(index, "aoi", "0 0 128 32"), 0); // no longer fits the memory
    ASSERT_EQ(is_CaptureVideo(h, 1), 0);
    SimStats s = {};
    for (int i = 0; i < 2000 && s.transferFailures < 2; ++i) {
        Sleep(5);
        sim_stats(&s);
    }
    ASSERT_EQ(is_StopLiveVideo(h, 1), 0);
    EXPECT_GE(s.transferFailures, 2u);
    EXPECT_EQ(sim_frames_posted(index), frame) << "nothing written, nothing posted as a frame";
    UeyeCaptureStatus status = {};
    ASSERT_EQ(is_CaptureStatus(h, ueye::kCaptureStatusGet, &status, sizeof status), 0);
    EXPECT_GE(status.anCount[0xA2], 2u);
    ASSERT_EQ(is_CameraExit(h), 0);
    EXPECT_NE(is_CaptureVideo(h, 1), 0);
    sim_stats(&s);
    EXPECT_EQ(s.allocations, 2);
    EXPECT_EQ(s.frees, 1);
    EXPECT_EQ(s.badFrees, 1);
    EXPECT_EQ(s.freedByExit, 1) << "the block left behind";
    EXPECT_EQ(s.liveBlocks, 0);
    EXPECT_EQ(s.closedHandleCalls, 1);
}

} // namespace
