// Image memory, colour mode, the image size read from the camera, and the capture-status
// report.
#include "camera/capture_status.h"
#include "camera/image_memory.h"
#include "camera_fixture.h"

namespace {

using trvtest::Calls;
using trvtest::Has;
using trvtest::IndexOf;
using trvtest::Journal;

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

TEST_F(ImageMemory, ReplacedOneBlockAtATimeAndReallocatedForTheAppliedArea) {
    char marker = 0;
    cam.m_pcImageMemory = &marker;
    EXPECT_EQ(InitDisplayMode(cam), -1) << "a closed record";
    EXPECT_EQ(cam.m_pcImageMemory, &marker);
    EXPECT_EQ(TakeLog(), "***** UEYECAM InitDisplayMode1\n***** UEYECAM InitDisplayMode2\n");
    cam = {};
    const int i = Add("M", 3, 1, 2048, 1536);
    ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
    for (int round = 0; round < 2; ++round) {
        sim_journal_clear();
        TakeLog();
        ASSERT_EQ(InitDisplayMode(cam), 0);
        const std::vector<std::string> j = Journal();
        const long freed = IndexOf(j, "is_ImageMemFree hCam=1");
        ASSERT_GE(freed, 0);
        EXPECT_TRUE(Has(j[static_cast<size_t>(freed)], " -> 0")) << "a block that was live";
        EXPECT_LT(freed, IndexOf(j, "is_ImageMemAlloc")) << "released before the next";
        EXPECT_EQ(Stats().liveBlocks, 1);
        EXPECT_EQ(TakeLog(), "***** UEYECAM InitDisplayMode1\n***** UEYECAM InitDisplayMode3\n"
                             "***** UEYECAM InitDisplayMode4\n***** UEYECAM InitDisplayMode5\n"
                             "***** UEYECAM InitDisplayMode8\n***** UEYECAM InitDisplayMode9\n"
                             "***** UEYECAM InitDisplayMode11\n***** UEYECAM InitDisplayMode12\n"
                             "***** UEYECAM InitDisplayMode13\n***** UEYECAM InitDisplayMode14\n");
        EXPECT_EQ(Calls("is_ColorMode"),
                  std::vector<std::string>{"is_ColorMode hCam=1 mode=6 -> 0"});
    }
    is_StopLiveVideo(cam.m_hCam, 1);
    Configure(i, "aoi", "0 0 640 480");
    Configure(i, "binning", "0x2");
    sim_journal_clear();
    TakeLog();
    ReallocMemory(cam);
    EXPECT_EQ(cam.m_nSizeX, 320);
    EXPECT_EQ(cam.m_nSizeY, 480);
    const std::vector<std::string> j = Journal();
    EXPECT_LT(IndexOf(j, "is_ImageMemFree"), IndexOf(j, "is_ImageMemAlloc hCam=1 w=320 h=480"));
    EXPECT_EQ(Calls("is_ImageMemActivate").size(), 1u);
    EXPECT_TRUE(Calls("is_ColorMode").empty()) << "the area was set by the caller";
    EXPECT_EQ(IndexOf(j, "is_AOI hCam=1 cmd=5"), -1);
    EXPECT_EQ(TakeLog(), "***** UEYECAM ReallocMemory x=0 y=0 w=640 h=480\n"
                         "***** UEYECAM ReallocMemory w=640 y=480\n"
                         "GetBinningSizes hx=2 vx=1\nGetSubSamplingSizes hx=1 vx=1\n"
                         "***** UEYECAM InitDisplayMode4\n***** UEYECAM InitDisplayMode5\n"
                         "***** UEYECAM InitDisplayMode8\n***** UEYECAM InitDisplayMode9\n"
                         "***** UEYECAM InitDisplayMode11\n");
    sim_fail("is_ImageMemAlloc", 2, 1);
    ReallocMemory(cam);
    EXPECT_EQ(cam.m_pcImageMemory, nullptr);
    CloseCamera(cam);
    const SimStats s = Stats();
    EXPECT_EQ(s.allocations, 4);
    EXPECT_EQ(s.frees, 4) << "every block freed once, also the one before a failed allocation";
    EXPECT_EQ(s.liveBlocks + s.badFrees + s.freedByExit, 0);
}

class CaptureStatus : public trvtest::CameraFixture {};

TEST_F(CaptureStatus, RowsInTheirOrderThenResetAlsoAfterAFailedRead) {
    const int index = Add("ONE", 3);
    ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
    sim_journal_clear();
    TakeLog();
    sim_post_event(index, 3, 0, 0xA2, 4); // counted without a total: not reported
    IsTransferFailed(cam, true);
    EXPECT_EQ(TakeLog(), "IS_CAP_STATUS_COUNT: 0\n");
    IsTransferFailed(cam, false);
    EXPECT_EQ(TakeLog(), "");
    EXPECT_EQ(Journal()[2], "is_CaptureStatus hCam=1 cmd=2 size=1088 -> 0 total=0");
    EXPECT_EQ(Journal()[3], "is_CaptureStatus hCam=1 cmd=1 size=0 -> 0");
    const int codes[] = {0xE5, 0xE4, 0xD6, 0xC7, 0xB4, 0xB2, 0xA5, 0xA3, 0xA2};
    for (bool verbose : {true, false}) {
        SCOPED_TRACE(verbose);
        uint32_t n = 1;
        for (int code : codes) {
            sim_post_event(index, 3, n, code, n);
            ++n;
        }
        sim_post_event(index, 3, 7, 0x10, 7); // a code outside the table
        IsTransferFailed(cam, verbose);
        EXPECT_EQ(TakeLog(), std::string(verbose ? "IS_CAP_STATUS_COUNT: 52\n" : "") +
                                 "IS_CAP_STATUS_API_NO_DEST_MEM: 9\n"
                                 "IS_CAP_STATUS_API_CONVERSION_FAILED: 8\n"
                                 "IS_CAP_STATUS_API_IMAGE_LOCKED: 7\n"
                                 "IS_CAP_STATUS_DRV_OUT_OF_BUFFERS: 6\n"
                                 "IS_CAP_STATUS_DRV_DEVICE_NOT_READY: 5\n" +
                                 (verbose ? "IS_CAP_STATUS_USB_TRANSFER_FAILED: 4\n" : "") +
                                 "IS_CAP_STATUS_DEV_TIMEOUT: 3\n"
                                 "IS_CAP_STATUS_ETH_BUFFER_OVERRUN: 2\n"
                                 "IS_CAP_STATUS_ETH_MISSED_IMAGES: 1\n");
        IsTransferFailed(cam, true);
        EXPECT_EQ(TakeLog(), "IS_CAP_STATUS_COUNT: 0\n") << "each report covers what is new";
    }
    sim_post_event(index, 3, 3, 0xA2, 3);
    sim_fail("is_CaptureStatus:2", 5, 1);
    IsTransferFailed(cam, true);
    EXPECT_EQ(TakeLog(), "IsTransferFailed ERROR: is_CaptureStatus=5\n");
    EXPECT_EQ(Calls("is_CaptureStatus").back(), "is_CaptureStatus hCam=1 cmd=1 size=0 -> 0");
    IsTransferFailed(cam, true);
    EXPECT_EQ(TakeLog(), "IS_CAP_STATUS_COUNT: 0\n");
}

} // namespace
