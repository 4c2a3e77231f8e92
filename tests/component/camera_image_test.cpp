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

class ImageMemory : public trvtest::CameraFixture {
  protected:
    // Frames the simulator writes from now on fit the memory the plug-in gave it.
    void ExpectFramesFit(int index) {
        const uint32_t before = sim_frames_posted(index);
        const uint32_t failuresBefore = Stats().transferFailures;
        for (int i = 0; i < 200 && sim_frames_posted(index) < before + 2; ++i) {
            Sleep(5);
        }
        EXPECT_GE(sim_frames_posted(index), before + 2) << "the camera writes frames";
        EXPECT_EQ(Stats().transferFailures, failuresBefore) << "into memory of the right size";
    }
};

TEST_F(ImageMemory, ColourKindChoosesModeAndDepth) {
    struct Case {
        uint8_t kind;
        int32_t mode, bits;
        const char* line;
    };
    const Case cases[] = {
        {2, 1, 24, "***** UEYECAM InitDisplayMode6\n"},
        {4, 1, 24, "***** UEYECAM InitDisplayMode7\n"},
        {0, 6, 8, "***** UEYECAM InitDisplayMode8\n"},
        {1, 6, 8, "***** UEYECAM InitDisplayMode8\n"},
        {3, 6, 8, "***** UEYECAM InitDisplayMode8\n"},
        {8, 6, 8, "***** UEYECAM InitDisplayMode8\n"},
        {255, 6, 8, "***** UEYECAM InitDisplayMode8\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        SetUp();
        sim_set_fps(200);
        const int i = Add("ONE", 3, c.kind);
        cam = {};
        ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
        EXPECT_EQ(cam.m_nColorMode, c.mode);
        EXPECT_EQ(cam.m_nBitsPerPixel, c.bits);
        EXPECT_EQ(Query(i, "color_mode"), std::to_string(c.mode));
        EXPECT_TRUE(Has(Calls("is_ImageMemAlloc")[0], "w=64 h=32 bits=" + std::to_string(c.bits)));
        EXPECT_TRUE(Has(TakeLog(), std::string("***** UEYECAM InitDisplayMode5\n") + c.line +
                                       "***** UEYECAM InitDisplayMode9\n"));
        ExpectFramesFit(i);
        TearDown();
    }
}

TEST_F(ImageMemory, ReplacedBeforeEveryAllocationOneBlockAtATime) {
    Add("M", 3, 1);
    ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
    for (int round = 0; round < 3; ++round) {
        sim_journal_clear();
        TakeLog();
        ASSERT_EQ(InitDisplayMode(cam), 0);
        const std::vector<std::string> j = Journal();
        const long freed = IndexOf(j, "is_ImageMemFree");
        ASSERT_GE(freed, 0);
        EXPECT_LT(freed, IndexOf(j, "is_ImageMemAlloc")) << "released before reallocating";
        EXPECT_TRUE(Has(j[static_cast<size_t>(freed)], " -> 0")) << "a block that was live";
        EXPECT_EQ(Stats().liveBlocks, 1);
        EXPECT_EQ(TakeLog(), "***** UEYECAM InitDisplayMode1\n***** UEYECAM InitDisplayMode3\n"
                             "***** UEYECAM InitDisplayMode4\n***** UEYECAM InitDisplayMode5\n"
                             "***** UEYECAM InitDisplayMode8\n***** UEYECAM InitDisplayMode9\n"
                             "***** UEYECAM InitDisplayMode11\n***** UEYECAM InitDisplayMode12\n"
                             "***** UEYECAM InitDisplayMode13\n***** UEYECAM InitDisplayMode14\n");
    }
    // Colour mode and image size follow a successful activation.
    EXPECT_EQ(Calls("is_ColorMode").back(), "is_ColorMode hCam=1 mode=6 -> 0");
    EXPECT_EQ(Calls("is_AOI").back(), "is_AOI hCam=1 cmd=5 size=8 in=64,32 -> 0");
    CloseCamera(cam);
    const SimStats s = Stats();
    EXPECT_EQ(s.liveBlocks, 0);
    EXPECT_EQ(s.allocations, 4);
    EXPECT_EQ(s.frees, 4);
    EXPECT_EQ(s.badFrees, 0);
    EXPECT_EQ(s.freedByExit, 0);
}

TEST_F(ImageMemory, ClosedRecordAnswersMinusOneAndTouchesNothing) {
    char marker = 0;
    cam.m_pcImageMemory = &marker;
    EXPECT_EQ(InitDisplayMode(cam), -1);
    EXPECT_EQ(cam.m_pcImageMemory, &marker);
    EXPECT_TRUE(Journal().empty());
    EXPECT_EQ(TakeLog(), "***** UEYECAM InitDisplayMode1\n***** UEYECAM InitDisplayMode2\n");
    cam.m_pcImageMemory = nullptr;
}

TEST_F(ImageMemory, SizeReadoutDividesByBinningThenSubsampling) {
    struct Case {
        const char* name;
        const char* aoi;
        const char* full;
        const char* binning;
        const char* subsampling;
        int32_t w, h;
        const char* factors;
    };
    const Case cases[] = {
        {"none", "0 0 2048 1536", "0 0", "0", "0", 2048, 1536,
         "GetBinningSizes hx=1 vx=1\nGetSubSamplingSizes hx=1 vx=1\n"},
        {"binning 2x2, subsampling 2x1", "0 0 2048 1536", "0 0", "0x3", "0x2", 512, 768,
         "GetBinningSizes hx=2 vx=2\nGetSubSamplingSizes hx=2 vx=1\n"},
        {"binning 16x16", "0 0 2048 1536", "0 0", "0x3000", "0", 128, 96,
         "GetBinningSizes hx=16 vx=16\n"},
        {"subsampling 3x5", "0 0 2040 1500", "0 0", "0", "0x60", 680, 300,
         "GetSubSamplingSizes hx=3 vx=5\n"},
        {"full width from the sensor", "0 0 640 480", "1 0", "0", "0", 2048, 480, ""},
        {"full height, then binning 4 vertically", "0 0 640 480", "0 1", "0x4", "0", 640, 384,
         "GetBinningSizes hx=1 vx=4\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        sim_set_fps(50);
        const int i = Add("ONE", 3, 2, 2048, 1536);
        Configure(i, "aoi", c.aoi);
        Configure(i, "aoi_full", c.full);
        Configure(i, "binning", c.binning);
        Configure(i, "subsampling", c.subsampling);
        cam = {};
        ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
        EXPECT_EQ(cam.m_nSizeX, c.w);
        EXPECT_EQ(cam.m_nSizeY, c.h);
        const std::string size = std::to_string(c.w) + " h=" + std::to_string(c.h);
        EXPECT_TRUE(Has(Calls("is_ImageMemAlloc")[0], "w=" + size)) << Calls("is_ImageMemAlloc")[0];
        EXPECT_EQ(Calls("is_AOI").back(), "is_AOI hCam=1 cmd=5 size=8 in=" + std::to_string(c.w) +
                                              "," + std::to_string(c.h) + " -> 0")
            << "the camera takes the image size it was given";
        EXPECT_TRUE(Has(TakeLog(), c.factors));
        ExpectFramesFit(i);
        TearDown();
    }
}

TEST_F(ImageMemory, ReallocationFollowsTheAreaTheCameraApplied) {
    const int i = Add("ONE", 3, 2, 2048, 1536);
    ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
    is_StopLiveVideo(cam.m_hCam, 1);
    Configure(i, "aoi", "0 0 640 480");
    Configure(i, "binning", "0x2");
    sim_journal_clear();
    TakeLog();
    ReallocMemory(cam);
    EXPECT_EQ(cam.m_nSizeX, 320);
    EXPECT_EQ(cam.m_nSizeY, 480);
    const std::vector<std::string> j = Journal();
    EXPECT_LT(IndexOf(j, "is_ImageMemFree"), IndexOf(j, "is_ImageMemAlloc"));
    EXPECT_TRUE(Has(Calls("is_ImageMemAlloc")[0], "w=320 h=480 bits=24 -> 0"));
    EXPECT_EQ(Calls("is_ImageMemActivate").size(), 1u);
    EXPECT_TRUE(Calls("is_ColorMode").empty()) << "the area was set by the caller";
    EXPECT_EQ(IndexOf(j, "is_AOI hCam=1 cmd=5"), -1);
    EXPECT_EQ(TakeLog(), "***** UEYECAM ReallocMemory x=0 y=0 w=640 h=480\n"
                         "***** UEYECAM ReallocMemory w=640 y=480\n"
                         "GetBinningSizes hx=2 vx=1\nGetSubSamplingSizes hx=1 vx=1\n"
                         "***** UEYECAM InitDisplayMode4\n***** UEYECAM InitDisplayMode5\n"
                         "***** UEYECAM InitDisplayMode6\n***** UEYECAM InitDisplayMode9\n"
                         "***** UEYECAM InitDisplayMode11\n");
    EXPECT_EQ(Stats().liveBlocks, 1);
    // A failed allocation leaves no memory and says so.
    sim_fail("is_ImageMemAlloc", 2, 1);
    TakeLog();
    ReallocMemory(cam);
    EXPECT_EQ(cam.m_pcImageMemory, nullptr);
    EXPECT_TRUE(
        Has(TakeLog(), "***** UEYECAM InitDisplayMode9\n***** UEYECAM InitDisplayMode10\n"));
    EXPECT_EQ(Stats().liveBlocks, 0);
}

TEST_F(ImageMemory, GarbageSizesFromTheCameraGiveNoMemoryAndNoCrash) {
    struct Case {
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"aoi", "0 0 -64 32"},
        {"aoi", "0 0 0 0"},
        {"aoi", "0 0 -2147483648 -2147483648"},
        {"aoi", "0 0 2147483647 2147483647"},
        {"aoi", "0 0 100000 100000"},
        {"width", "4294967295"}, // with the full-size answers below: a negative width
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        SetUp();
        const int i = Add("ONE", 3);
        Configure(i, c.key, c.value);
        Configure(i, "aoi_full", std::string(c.key) == "width" ? "1 1" : "0 0");
        cam = {};
        ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
        EXPECT_EQ(cam.m_pcImageMemory, nullptr) << cam.m_nSizeX << "x" << cam.m_nSizeY;
        EXPECT_FALSE(cam.m_bLive);
        EXPECT_TRUE(Has(TakeLog(), "***** UEYECAM OpenCamera10\n"));
        EXPECT_EQ(Stats().liveBlocks, 0);
        TearDown();
    }
}

class CaptureStatus : public trvtest::CameraFixture {
  protected:
    void SetUp() override {
        CameraFixture::SetUp();
        index = Add("ONE", 3);
        ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
        TakeLog();
        sim_journal_clear();
    }
    void Raise(int code, uint32_t count) { sim_post_event(index, 3, count, code, count); }
    int index = 0;
};

TEST_F(CaptureStatus, EmptyReportAndTheResetAfterEveryRead) {
    IsTransferFailed(cam, true);
    EXPECT_EQ(TakeLog(), "IS_CAP_STATUS_COUNT: 0\n");
    IsTransferFailed(cam, false);
    EXPECT_EQ(TakeLog(), "");
    EXPECT_EQ(Journal(), (std::vector<std::string>{
                             "is_CaptureStatus hCam=1 cmd=2 size=1088 -> 0 total=0",
                             "is_CaptureStatus hCam=1 cmd=1 size=0 -> 0",
                             "is_CaptureStatus hCam=1 cmd=2 size=1088 -> 0 total=0",
                             "is_CaptureStatus hCam=1 cmd=1 size=0 -> 0",
                         }));
}

TEST_F(CaptureStatus, EveryRowInItsOrderAndTheUsbRowOnlyWhenVerbose) {
    const int codes[] = {0xE5, 0xE4, 0xD6, 0xC7, 0xB4, 0xB2, 0xA5, 0xA3, 0xA2};
    for (bool verbose : {true, false}) {
        SCOPED_TRACE(verbose);
        uint32_t n = 1;
        for (int code : codes) {
            Raise(code, n++);
        }
        Raise(0x10, 7); // a code outside the table
        IsTransferFailed(cam, verbose);
        const std::string expected =
            std::string(verbose ? "IS_CAP_STATUS_COUNT: 52\n" : "") +
            "IS_CAP_STATUS_API_NO_DEST_MEM: 9\nIS_CAP_STATUS_API_CONVERSION_FAILED: 8\n"
            "IS_CAP_STATUS_API_IMAGE_LOCKED: 7\nIS_CAP_STATUS_DRV_OUT_OF_BUFFERS: 6\n"
            "IS_CAP_STATUS_DRV_DEVICE_NOT_READY: 5\n" +
            (verbose ? "IS_CAP_STATUS_USB_TRANSFER_FAILED: 4\n" : "") +
            "IS_CAP_STATUS_DEV_TIMEOUT: 3\nIS_CAP_STATUS_ETH_BUFFER_OVERRUN: 2\n"
            "IS_CAP_STATUS_ETH_MISSED_IMAGES: 1\n";
        EXPECT_EQ(TakeLog(), expected);
        IsTransferFailed(cam, true);
        EXPECT_EQ(TakeLog(), "IS_CAP_STATUS_COUNT: 0\n") << "each report covers what is new";
    }
}

TEST_F(CaptureStatus, CountersWithAZeroTotalAreNotReported) {
    sim_post_event(index, 3, 0, 0xA2, 4);
    IsTransferFailed(cam, true);
    EXPECT_EQ(TakeLog(), "IS_CAP_STATUS_COUNT: 0\n");
}

TEST_F(CaptureStatus, FailingReadIsLoggedAndTheCountersResetAllTheSame) {
    Raise(0xA2, 3);
    sim_fail("is_CaptureStatus:2", 5, 1);
    IsTransferFailed(cam, true);
    EXPECT_EQ(TakeLog(), "IsTransferFailed ERROR: is_CaptureStatus=5\n");
    EXPECT_EQ(Calls("is_CaptureStatus").back(), "is_CaptureStatus hCam=1 cmd=1 size=0 -> 0");
    IsTransferFailed(cam, true);
    EXPECT_EQ(TakeLog(), "IS_CAP_STATUS_COUNT: 0\n");
}

} // namespace
