// The simulated camera's picture: each image shows the part of the sensor its area, factors and
// colour mode select, so a plug-in that sets a wrong offset or factor delivers a visibly wrong one.
#include "sim_control.h"
#include "ueye/ueye_api.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// The picture of a 2048 x 1536 sensor: bars 256 pixels wide in rows 0 to 511 (white, yellow,
// cyan, ...), below them red = x * 255 / 2047, green = (y - 512) * 255 / 1023, blue = 255 -
// (red + green) / 2. An image shows the part of the sensor its area, factors and mode select.
TEST(SimPicture, PictureShowsThePartOfTheSensorTheImageCovers) {
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
    sim_reset();
    const SimCamera camera = sim_camera("A", 5, 2, 2048, 1536);
    const int index = sim_add_camera(&camera);
    UeyeHandle h = 0;
    ASSERT_EQ(is_CameraInit(&h, nullptr), 0);
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
    sim_reset();
}

} // namespace
