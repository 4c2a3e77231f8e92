// Image memory, colour mode and the image size read from the camera.
#include "camera/image_memory.h"
#include "camera_fixture.h"

namespace {

using trvtest::Calls;
using trvtest::Has;

class ImageMemory : public trvtest::CameraFixture {};

// The memory the plug-in allocates fits the frames the camera then writes.
TEST_F(ImageMemory, ModeDepthAndSizeFollowTheCamera) {
    struct Case {
        uint8_t kind;
        const char *aoi, *full, *binning, *subsampling;
        int32_t bits, w, h;
        const char* lines;
    };
    const Case cases[] = {
        {2, "0 0 64 32", "0 0", "0", "0", 24, 64, 32,
         "InitDisplayMode5\n***** UEYECAM "
         "InitDisplayMode6\n"},
        {4, "0 0 64 32", "0 0", "0", "0", 24, 64, 32, "InitDisplayMode7\n"},
        {0, "0 0 64 32", "0 0", "0", "0", 8, 64, 32, "InitDisplayMode8\n"},
        {3, "0 0 64 32", "0 0", "0", "0", 8, 64, 32, "InitDisplayMode8\n"},
        {255, "0 0 64 32", "0 0", "0", "0", 8, 64, 32, "InitDisplayMode8\n"},
        {2, "0 0 2048 1536", "0 0", "0x3", "0x2", 24, 512, 768,
         "GetBinningSizes hx=2 vx=2\nGetSubSamplingSizes hx=2 vx=1\n"},
        {2, "0 0 2048 1536", "0 0", "0x3000", "0", 24, 128, 96, "GetBinningSizes hx=16 vx=16\n"},
        {2, "0 0 2040 1500", "0 0", "0", "0x60", 24, 680, 300, "GetSubSamplingSizes hx=3 vx=5\n"},
        {2, "0 0 640 480", "1 0", "0", "0", 24, 2048, 480, "OpenCamera5 m_nSizeX=2048 "},
        {2, "0 0 640 480", "0 1", "0x4", "0", 24, 640, 384, "GetBinningSizes hx=1 vx=4\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.kind} << " " << c.aoi << " " << c.binning);
        Fresh();
        sim_set_fps(200);
        const int i = Add("ONE", 3, c.kind, 2048, 1536);
        Configure(i, "aoi", c.aoi);
        Configure(i, "aoi_full", c.full);
        Configure(i, "binning", c.binning);
        Configure(i, "subsampling", c.subsampling);
        ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
        EXPECT_EQ(cam.m_nColorMode, c.bits == 24 ? 1 : 6);
        EXPECT_EQ(Query(i, "color_mode"), c.bits == 24 ? "1" : "6");
        EXPECT_EQ(cam.m_nSizeX, c.w);
        EXPECT_EQ(cam.m_nSizeY, c.h);
        const std::string size = std::to_string(c.w) + " h=" + std::to_string(c.h);
        EXPECT_TRUE(Has(Calls("is_ImageMemAlloc")[0], size + " bits=" + std::to_string(c.bits)));
        EXPECT_EQ(Calls("is_AOI").back(), "is_AOI hCam=1 cmd=5 size=8 in=" + std::to_string(c.w) +
                                              "," + std::to_string(c.h) + " -> 0");
        EXPECT_TRUE(Has(TakeLog(), c.lines));
        EXPECT_TRUE(FramesFit(i));
    }
}

} // namespace
