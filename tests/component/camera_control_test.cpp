// Exposure and timing, trigger and strobe, area of interest, on an open simulated camera.
#include "camera/aoi.h"
#include "camera/exposure.h"
#include "camera/trigger.h"
#include "camera_fixture.h"

namespace {

using trvtest::Calls;
using trvtest::Has;
using trvtest::IndexOf;
using trvtest::Journal;

// The lines of the journal from `call` on, each cut at its first space after the handle.
std::vector<std::string> CallNames(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& l : lines) {
        out.push_back(l.substr(0, l.find(' ')));
    }
    return out;
}

class CameraControl : public trvtest::CameraFixture {
  protected:
    // Opens the simulated camera `index` as the current record.
    MyCam& OpenCurrent(int index = 0) {
        (void)index;
        gMyCams.push_back({});
        MyCam& c = gMyCams.back();
        c.m_nTriggerMode = 1;
        EXPECT_TRUE(OpenCamera(c, nullptr, L""));
        sim_journal_clear();
        TakeLog();
        return c;
    }
};

TEST_F(CameraControl, ExposureRangeIsBoundedByTheCamera) {
    struct Case {
        double configuredMax;
        const char* cameraRange;
        double min, max, inc;
        const char* overrideLine; // "" when none
    };
    const Case cases[] = {
        {50000.0, "0.01 1000 0.01", 0.01, 1000.0, 0.01,
         "GetExposure max override ed.dMax=50000 dblRange[1]=1000\n"},
        {0.0, "0.01 1000 0.01", 0.01, 0.0, 0.01, ""},   // no configured maximum: no range
        {40.0, "0.01 1000 0.01", 0.01, 40.0, 0.01, ""}, // below the camera's: kept
        {1000.0, "0.05 1000 0.02", 0.05, 1000.0, 0.02, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.configuredMax);
        SetUp();
        const int i = Add("ONE", 3);
        MyCam& cur = OpenCurrent();
        Configure(i, "exposure_range", c.cameraRange);
        cur.m_sExposure = {0.0, c.configuredMax, 1.0};
        GetExposure(cur, cur.m_sExposure);
        EXPECT_DOUBLE_EQ(cur.m_sExposure.dMin, c.min);
        EXPECT_DOUBLE_EQ(cur.m_sExposure.dMax, c.max);
        EXPECT_DOUBLE_EQ(cur.m_sExposure.dInt, c.inc);
        const std::string l = TakeLog();
        EXPECT_EQ(l.rfind(c.overrideLine, 0), 0u) << l;
        EXPECT_TRUE(Has(l, "GetExposure nRet=0 min=")) << l;
        std::string out = c.cameraRange;
        std::replace(out.begin(), out.end(), ' ', ',');
        EXPECT_EQ(Calls("is_Exposure"),
                  (std::vector<std::string>{"is_Exposure hCam=1 cmd=6 size=24 -> 0 out=" + out}));
        TearDown();
    }
}

TEST_F(CameraControl, FailingRangeQueryUsesWhatCameBack) {
    Add("ONE", 3);
    MyCam& cur = OpenCurrent();
    cur.m_sExposure = {0.0, 40.0, 1.0};
    sim_fail("is_Exposure:6", 125, 1);
    GetExposure(cur, cur.m_sExposure);
    EXPECT_EQ(cur.m_sExposure.dMax, 0.0);
    EXPECT_EQ(TakeLog(), "GetExposure max override ed.dMax=40 dblRange[1]=0\n"
                         "GetExposure nRet=125 min=0 max=0 int=0\n");
}

TEST_F(CameraControl, ExposurePercentMapsOntoTheRange) {
    const int i = Add("ONE", 3);
    Configure(i, "fps", "10"); // a frame period of 100 ms leaves room for 60 ms
    MyCam& cur = OpenCurrent();
    cur.m_sExposure = {0.0, 40.0, 1.0};
    SetExposure(50);
    SetExposure(150);
    SetExposure(-25);
    EXPECT_EQ(
        Calls("is_Exposure"),
        (std::vector<std::string>{"is_Exposure hCam=1 cmd=12 size=8 value=20 -> 0 out=20",
                                  "is_Exposure hCam=1 cmd=12 size=8 value=60 -> 0 out=60",
                                  "is_Exposure hCam=1 cmd=12 size=8 value=-10 -> 0 out=0.01"}));
    EXPECT_EQ(TakeLog(), "SetExposure: Setting Exposure value=50 time=20\n"
                         "SetExposure: Setting Exposure value=150 time=60\n"
                         "SetExposure: Setting Exposure value=-25 time=-10\n");
    // No range, or no current camera: nothing happens.
    cur.m_sExposure.dMax = 0.0;
    SetExposure(50);
    gCurCamIndex = 1;
    SetExposure(50);
    EXPECT_EQ(Calls("is_Exposure").size(), 3u);
    EXPECT_EQ(TakeLog(), "");
}

TEST_F(CameraControl, TimingQueryReadsFrameRateAndExposure) {
    const int i = Add("ONE", 3);
    Configure(i, "fps", "25");
    Configure(i, "exposure", "12.5");
    OpenCurrent();
    double fps = -1.0, exposure = -1.0;
    ASSERT_TRUE(GetTiming(fps, exposure));
    EXPECT_EQ(fps, 25.0);
    EXPECT_EQ(exposure, 12.5);
    EXPECT_EQ(Journal(),
              (std::vector<std::string>{"is_FrameRate hCam=1 fps=32768 -> 0 new=25",
                                        "is_Exposure hCam=1 cmd=7 size=8 -> 0 out=12.5"}));
    sim_fail("is_FrameRate", 125, 1);
    sim_fail("is_Exposure:7", 125, 1);
    ASSERT_TRUE(GetTiming(fps, exposure));
    EXPECT_EQ(fps, 0.0) << "a failing call leaves 0";
    EXPECT_EQ(exposure, 0.0);
    gCurCamIndex = 5;
    fps = exposure = -1.0;
    EXPECT_FALSE(GetTiming(fps, exposure));
    EXPECT_EQ(fps, -1.0) << "without a current camera nothing is written";
}

TEST_F(CameraControl, TimingIsSavedThenReappliedFrameRateFirst) {
    const int i = Add("ONE", 3);
    Configure(i, "exposure", "20");
    const MyCam& cur = OpenCurrent();
    GetTimeStats(cur.m_hCam);
    EXPECT_EQ(TakeLog(), "GetTimeStats fpsmin=0.001 fpsmax=1 fpsinc=0.001\n"
                         "GetTimeStats dFrameRate=30 dExposure=20 dFpsCap=50\n");
    Configure(i, "exposure", "5");
    sim_journal_clear();
    SetTimeStats(cur.m_hCam, true);
    EXPECT_EQ(CallNames(Journal()),
              (std::vector<std::string>{"is_FrameTimeRange", "is_FrameRate", "is_FrameRate",
                                        "is_Exposure", "is_Exposure"}));
    EXPECT_EQ(Journal()[1], "is_FrameRate hCam=1 fps=50 -> 0 new=50") << "the cap after a set";
    EXPECT_EQ(Journal()[2], "is_FrameRate hCam=1 fps=32768 -> 0 new=50");
    EXPECT_EQ(Journal()[3], "is_Exposure hCam=1 cmd=12 size=8 value=20 -> 0 out=20");
    EXPECT_EQ(Journal()[4], "is_Exposure hCam=1 cmd=7 size=8 -> 0 out=20");
    const std::string l = TakeLog();
    EXPECT_TRUE(Has(l, "SetTimeStats dFrameRate=30 dExposure=20 dFpsCap=50\n"
                       "SetTimeStats dFpsCapTmp1=50 dFpsCapTmp2=50 dExposureTmp=20\n"))
        << l;
    sim_journal_clear();
    SetTimeStats(cur.m_hCam, false);
    EXPECT_EQ(Journal()[1], "is_FrameRate hCam=1 fps=30 -> 0 new=30")
        << "the saved rate after a reset";
}

TEST_F(CameraControl, SetExposureWriteBackBecomesTheSavedExposure) {
    const int i = Add("ONE", 3);
    Configure(i, "exposure", "20");
    const MyCam& cur = OpenCurrent();
    GetTimeStats(cur.m_hCam);
    Configure(i, "exposure_range", "0.01 8 0.01"); // the camera now takes at most 8 ms
    SetTimeStats(cur.m_hCam, true);
    TakeLog();
    SetTimeStats(cur.m_hCam, true);
    EXPECT_TRUE(Has(TakeLog(), "SetTimeStats dFrameRate=30 dExposure=8 dFpsCap=50\n"));
}

TEST_F(CameraControl, ResetBeforeAnySetAsksForZeroes) {
    Add("ONE", 3);
    const MyCam& cur = OpenCurrent();
    SetTimeStats(cur.m_hCam, false);
    EXPECT_EQ(Journal()[1], "is_FrameRate hCam=1 fps=0 -> 0 new=1");
    EXPECT_EQ(Journal()[3], "is_Exposure hCam=1 cmd=12 size=8 value=0 -> 0 out=0.01");
    GetTimeStats(cur.m_hCam);
    EXPECT_TRUE(Has(TakeLog(), "dExposure=0.01 dFpsCap=100000\n")) << "what the camera applied";
}

TEST_F(CameraControl, ExposureOfZeroGivesNoCapAndNoDivision) {
    const int i = Add("ONE", 3);
    const MyCam& cur = OpenCurrent();
    Configure(i, "exposure", "0");
    GetTimeStats(cur.m_hCam);
    EXPECT_TRUE(Has(TakeLog(), "GetTimeStats dFrameRate=30 dExposure=0 dFpsCap=0\n"));
}

// The focus mode that each focus type and "trigger" value choose, and the way back.
TEST_F(CameraControl, FocusModeByFocusTypeAndTriggerKey) {
    struct Case {
        int32_t focusType;
        const wchar_t* trigger; // null: no key
        int defType, triggerType;
        const char* setCall; // the journal line of the change
        const char* setLine;
        const char* trigger0x; // the camera's trigger mode afterwards
        const char* strobe;
    };
    const Case cases[] = {
        {2, nullptr, 2, 2, "is_TriggerMode hCam=1 mode=0x1001 -> 0",
         "UEYE setting trigger HI_LO: 4097\n", "0x1001", "0"},
        {1, L"3", 1, 3, "is_TriggerMode hCam=1 mode=0x1002 -> 0",
         "UEYE setting trigger LO_HI: 4098\n", "0x1002", "0"},
        {1, nullptr, 1, 1, "is_IO hCam=1 cmd=20 size=4 bytes=02000000 -> 0",
         "UEYE setting strobe out: 2\n", "0x1008", "2"},
        {2, L"1", 2, 1, "is_IO hCam=1 cmd=20 size=4 bytes=02000000 -> 0",
         "UEYE setting strobe out: 2\n", "0x1008", "2"},
        {1, L"0", 1, 0, "is_IO hCam=1 cmd=20 size=4 bytes=02000000 -> 0",
         "UEYE setting strobe out: 2\n", "0x1008", "2"},
        {1, L"4", 1, 4, "is_IO hCam=1 cmd=20 size=4 bytes=02000000 -> 0",
         "UEYE setting strobe out: 2\n", "0x1008", "2"},
        {7, nullptr, 1, 1, "is_IO hCam=1 cmd=20 size=4 bytes=02000000 -> 0",
         "UEYE setting strobe out: 2\n", "0x1008", "2"},
        {2, L"2", 2, 2, "is_TriggerMode hCam=1 mode=0x1001 -> 0",
         "UEYE setting trigger HI_LO: 4097\n", "0x1001", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "focus type " << c.focusType << " trigger "
                                        << (c.trigger ? ToUtf8(c.trigger) : "none"));
        SetUp();
        Add("ONE", 3);
        MyCam& cur = OpenCurrent();
        gFocusType = c.focusType;
        settings.Trigger(c.trigger);
        EXPECT_TRUE(MyStrobeEnable(cur));
        const std::vector<std::string> j = Journal();
        const long stop = IndexOf(j, "is_StopLiveVideo hCam=1 wait=1 -> 0");
        const long set = IndexOf(j, c.setCall);
        const long start = IndexOf(j, "is_CaptureVideo hCam=1 wait=0 -> 0");
        ASSERT_GE(stop, 0);
        EXPECT_LT(stop, set);
        EXPECT_LT(set, start);
        EXPECT_EQ(Query(0, "trigger"), c.trigger0x);
        EXPECT_EQ(Query(0, "strobe"), c.strobe);
        EXPECT_EQ(Query(0, "live"), "1");
        const std::string l = TakeLog();
        EXPECT_EQ(
            l.rfind("UEYE MyStrobeEnable focusType=" + std::to_string(c.focusType) +
                        " defType=" + std::to_string(c.defType) + "\nUEYE ini=" + ConfigDir() +
                        "tarvello.ini\nUEYE triggerType=" + std::to_string(c.triggerType) + "\n" +
                        c.setLine + "UEYE focus config success: 0\nTrigger after live live=1 ",
                    0),
            0u)
            << l;
        // The way back is the same whatever the way in was.
        sim_journal_clear();
        MyStrobeDisable(cur);
        const std::vector<std::string> back = Journal();
        const long off = IndexOf(back, "is_IO hCam=1 cmd=20 size=4 bytes=00000000 -> 0");
        const long software = IndexOf(back, "is_TriggerMode hCam=1 mode=0x1008 -> 0");
        ASSERT_GE(off, 0);
        EXPECT_LT(IndexOf(back, "is_StopLiveVideo hCam=1 wait=1"), off);
        EXPECT_LT(off, software);
        EXPECT_LT(software, IndexOf(back, "is_CaptureVideo hCam=1 wait=0 -> 0"));
        EXPECT_EQ(Query(0, "trigger"), "0x1008");
        EXPECT_EQ(Query(0, "strobe"), "0");
        EXPECT_EQ(TakeLog().rfind("MyStrobeDisable\nMyStrobeDisable1 live=1 ", 0), 0u);
        TearDown();
    }
}

TEST_F(CameraControl, FreeRunningChangesNothingAndLogsTheState) {
    Add("ONE", 3);
    MyCam& cur = OpenCurrent();
    gFocusType = 3;
    EXPECT_TRUE(MyStrobeEnable(cur));
    for (const std::string& l : Journal()) {
        EXPECT_TRUE(Has(l, "wait=32768") || Has(l, "mode=0x8000") || Has(l, "mode=0x8004")) << l;
    }
    EXPECT_EQ(TakeLog(), "UEYE MyStrobeEnable free running live=1 supported trigger=4299 current "
                         "trigger=4104\nsupported=IS_SET_TRIGGER_HI_LO\n"
                         "supported=IS_SET_TRIGGER_LO_HI\nsupported=IS_SET_TRIGGER_SOFTWARE\n"
                         "supported=IS_SET_TRIGGER_PRE_HI_LO\nsupported=IS_SET_TRIGGER_PRE_LO_HI\n"
                         "trigger=IS_SET_TRIGGER_SOFTWARE\n");
}

TEST_F(CameraControl, TriggerStateNamesWhatTheCameraReports) {
    const int i = Add("ONE", 3);
    Configure(i, "trigger_supported", "0x0FFF"); // no bit 0x1000: no mode is supported
    gMyCams.push_back({});
    ASSERT_TRUE(OpenCamera(gMyCams[0], nullptr, L"")); // trigger selector 0: mode stays 0
    TakeLog();
    LogTriggerState(gMyCams[0].m_hCam, L"label");
    EXPECT_EQ(TakeLog(), "label live=1 supported trigger=4095 current trigger=0\n"
                         "trigger unknown=0\n");
    // A focus mode the camera does not support fails, and says so.
    gFocusType = 2;
    EXPECT_TRUE(MyStrobeEnable(gMyCams[0]));
    EXPECT_TRUE(
        Has(TakeLog(), "UEYE setting trigger HI_LO: 4097\nUEYE focus config failed: 125\n"));
}

TEST_F(CameraControl, HardwareTriggerHoldsFramesUntilATrigger) {
    const int i = Add("ONE", 3);
    Configure(i, "fps", "200");
    MyCam& cur = OpenCurrent();
    gFocusType = 2;
    MyStrobeEnable(cur);
    Sleep(50);
    const uint32_t held = sim_frames_posted(i);
    Sleep(100);
    EXPECT_EQ(sim_frames_posted(i), held) << "no frame without a trigger";
    ASSERT_EQ(sim_hardware_trigger(i), 0);
    for (int n = 0; n < 200 && sim_frames_posted(i) == held; ++n) {
        Sleep(5);
    }
    EXPECT_EQ(sim_frames_posted(i), held + 1);
    MyStrobeDisable(cur);
    for (int n = 0; n < 200 && sim_frames_posted(i) < held + 5; ++n) {
        Sleep(5);
    }
    EXPECT_GE(sim_frames_posted(i), held + 5) << "software trigger runs freely again";
}

struct Rect {
    int32_t x, y, w, h;
    bool operator==(const Rect& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

void PrintTo(const Rect& r, std::ostream* os) {
    *os << r.x << "," << r.y << " " << r.w << "x" << r.h;
}

class AreaOfInterest : public CameraControl {
  protected:
    // 2048 x 1536, minimal size 32 x 4, size steps 4 x 2, position steps 2 x 2, origin 0.
    MyCam& OpenSensor() {
        const int i = Add("ONE", 3, 2, 2048, 1536);
        Configure(i, "fps", "100");
        MyCam& c = OpenCurrent();
        return c;
    }
    Rect Set(MyCam& c, int32_t mode, Rect r) {
        SetAoiRect(c, mode, r.x, r.y, r.w, r.h);
        return r;
    }
};

TEST_F(AreaOfInterest, WorkedExamples) {
    struct Case {
        Rect in, sent;
        bool accepted;
    };
    const Case cases[] = {
        {{101, 51, 1002, 503}, {102, 50, 1000, 502}, true}, // rounded down, centre kept
        {{100, 100, 10, 10}, {88, 100, 32, 10}, true},      // raised to the minimal width
        {{0, 0, 10, 10}, {0, 0, 32, 10}, true},             // and x raised back to the minimum
        {{0, 0, 5000, 100}, {1476, 0, 2048, 100}, false},   // past the right edge: refused
        {{-7, -9, 64, 64}, {0, 0, 64, 64}, true},
        {{2000, 1500, 64, 64}, {2000, 1500, 64, 64}, false},
    };
    MyCam& cur = OpenSensor();
    Rect current{0, 0, 2048, 1536};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.in));
        sim_journal_clear();
        const Rect back = Set(cur, 1, c.in);
        const std::vector<std::string> aoi = Calls("is_AOI");
        const std::string sent = "is_AOI hCam=1 cmd=1 size=16 in=" + std::to_string(c.sent.x) +
                                 "," + std::to_string(c.sent.y) + "," + std::to_string(c.sent.w) +
                                 "," + std::to_string(c.sent.h) + " -> " +
                                 (c.accepted ? "0" : "125");
        EXPECT_NE(std::find(aoi.begin(), aoi.end(), sent), aoi.end()) << sent;
        if (c.accepted) {
            current = c.sent;
        }
        EXPECT_EQ(back, current) << "the caller gets what the camera applied";
        EXPECT_EQ(cur.m_nSizeX, current.w);
        EXPECT_EQ(cur.m_nSizeY, current.h);
    }
    EXPECT_EQ(Stats().badFrees, 0);
    EXPECT_EQ(Stats().liveBlocks, 1);
}

TEST_F(AreaOfInterest, SetRunsItsStepsInOrderAroundStoppedLiveVideo) {
    MyCam& cur = OpenSensor();
    ASSERT_TRUE(cur.m_bLive);
    Set(cur, 1, {101, 51, 1002, 503});
    const std::vector<std::string> j = Journal();
    std::vector<std::string> steps;
    for (const std::string& l : j) {
        steps.push_back(l.substr(0, l.find(" ->")));
    }
    const std::vector<std::string> expected = {
        "is_StopLiveVideo hCam=1 wait=16384", "is_AOI hCam=1 cmd=16 size=8",
        "is_AOI hCam=1 cmd=7 size=8",         "is_FrameTimeRange hCam=1",
        "is_FrameRate hCam=1 fps=32768",      "is_Exposure hCam=1 cmd=7 size=8",
        "is_AOI hCam=1 cmd=8 size=8",         "is_AOI hCam=1 cmd=18 size=8",
        "is_AOI hCam=1 cmd=17 size=8",        "is_AOI hCam=1 cmd=1 size=16 in=102,50,1000,502",
        "is_AOI hCam=1 cmd=2 size=16",
    };
    ASSERT_GE(steps.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(steps.begin(), steps.begin() + expected.size()), expected);
    EXPECT_EQ(steps.back(), "is_CaptureVideo hCam=1 wait=1");
    const long realloc = IndexOf(j, "is_ImageMemAlloc hCam=1 w=1000 h=502 bits=24 -> 0");
    ASSERT_GE(realloc, 0);
    EXPECT_LT(realloc, IndexOf(j, "is_FrameRate hCam=1 fps=100 -> 0"))
        << "memory first, then the timing: the cap of 10 ms is 100 frames a second";
    const std::string l = TakeLog();
    EXPECT_TRUE(Has(l, "MyCam::SetAoiRect GetSizMax nRet=0 w=2048 h=1536\n"
                       "MyCam::SetAoiRect GetPosMin nRet=0 x=0 y=0\n"))
        << l;
    EXPECT_TRUE(Has(l, "MyCam::SetAoiRect x=102 y=50 w=1000 h=502\n"
                       "MyCam::SetAoiRect is_AOI=0\nMyCam::SetAoiRect x=102 y=50 w=1000 h=502\n"
                       "***** UEYECAM ReallocMemory x=102 y=50 w=1000 h=502\n"));
    // Frames of the new size fit the new memory.
    const uint32_t failures = Stats().transferFailures;
    const uint32_t posted = sim_frames_posted(0);
    for (int n = 0; n < 200 && sim_frames_posted(0) < posted + 3; ++n) {
        Sleep(5);
    }
    EXPECT_GE(sim_frames_posted(0), posted + 3);
    EXPECT_EQ(Stats().transferFailures, failures);
}

TEST_F(AreaOfInterest, NotLiveNothingIsStoppedOrStarted) {
    MyCam& cur = OpenSensor();
    cur.m_bLive = false;
    Set(cur, 1, {0, 0, 640, 480});
    EXPECT_TRUE(Calls("is_StopLiveVideo").empty());
    EXPECT_TRUE(Calls("is_CaptureVideo").empty());
}

TEST_F(AreaOfInterest, EveryModeButZeroSets) {
    for (int32_t mode : {1, 3, -1, 2, INT32_MIN}) {
        SCOPED_TRACE(mode);
        SetUp();
        MyCam& cur = OpenSensor();
        EXPECT_EQ(Set(cur, mode, {0, 0, 640, 480}), (Rect{0, 0, 640, 480}));
        EXPECT_EQ(Calls("is_FrameRate")[0], "is_FrameRate hCam=1 fps=32768 -> 0 new=100")
            << "a set saves the timing first";
        TearDown();
    }
}

TEST_F(AreaOfInterest, ResetBeforeAnySetUsesTheLimitsJustRead) {
    const int i = Add("ONE", 3, 2, 2048, 1536);
    Configure(i, "aoi_pos_min", "8 4");
    Configure(i, "aoi", "8 4 640 480");
    MyCam& cur = OpenCurrent();
    EXPECT_EQ(Set(cur, 0, {1, 2, 3, 4}), (Rect{8, 4, 2048, 1536}))
        << "origin and maximal size, unbounded";
    for (const std::string& l : Calls("is_AOI")) {
        EXPECT_FALSE(Has(l, "cmd=8 ") || Has(l, "cmd=17 ") || Has(l, "cmd=18 ")) << l;
    }
    EXPECT_EQ(Calls("is_FrameRate")[0], "is_FrameRate hCam=1 fps=0 -> 0 new=1")
        << "no timing was ever saved";
}

TEST_F(AreaOfInterest, ResetAfterASetAppliesTheSavedFullFrame) {
    const int i = Add("ONE", 3, 2, 2048, 1536);
    MyCam& cur = OpenCurrent();
    Set(cur, 1, {0, 0, 640, 480});
    Configure(i, "aoi_size_max", "1024 768"); // the camera now reports other limits
    sim_journal_clear();
    const Rect back = Set(cur, 0, {});
    const std::vector<std::string> aoi = Calls("is_AOI");
    EXPECT_NE(
        std::find(aoi.begin(), aoi.end(), "is_AOI hCam=1 cmd=1 size=16 in=0,0,2048,1536 -> 125"),
        aoi.end())
        << "the full frame saved by the set";
    EXPECT_EQ(back, (Rect{0, 0, 640, 480})) << "the camera refused it and kept its area";
    EXPECT_TRUE(Has(TakeLog(), "SetTimeStats dFpsCapTmp1=30 ")) << "the saved frame rate";
}

TEST_F(AreaOfInterest, StepsOfZeroOrBelowFromTheCamera) {
    const int i = Add("ONE", 3, 2, 2048, 1536);
    Configure(i, "aoi_size_step", "0 -2");
    Configure(i, "aoi_pos_step", "-1 0");
    Configure(i, "aoi_size_min", "0 -5");
    MyCam& cur = OpenCurrent();
    EXPECT_EQ(Set(cur, 1, {101, 51, 1003, 501}), (Rect{101, 51, 1003, 501}));
    EXPECT_EQ(cur.m_nSizeX, 1003);
}

TEST_F(AreaOfInterest, ReadingNeverStopsLiveVideoAndFailsCleanly) {
    MyCam& cur = OpenSensor();
    int32_t x = -1, y = -1, w = -1, h = -1;
    ASSERT_TRUE(GetAoiRect(cur, x, y, w, h));
    EXPECT_EQ(w, 2048);
    EXPECT_EQ(h, 1536);
    EXPECT_EQ(Journal(),
              (std::vector<std::string>{"is_AOI hCam=1 cmd=2 size=16 -> 0 out=0,0,2048,1536"}));
    EXPECT_EQ(TakeLog(), "***** UEYECAM GetAoiRect x=0 y=0 w=2048 h=1536\n");
    sim_fail("is_AOI:2", 125, 1);
    x = y = w = h = -1;
    EXPECT_FALSE(GetAoiRect(cur, x, y, w, h));
    EXPECT_EQ(w, -1) << "nothing written";
    EXPECT_EQ(TakeLog(), "***** UEYECAM GetAoiRect error=125\n");
}

} // namespace
