// The area of interest on an open simulated camera: the calls in their order, the limits
// and steps, the full frame saved by a set; file paths that do not fit.
#include "camera/aoi.h"
#include "camera/camera_list.h"
#include "camera/open_close.h"
#include "camera/parameter_files.h"
#include "camera/trigger.h"
#include "host_settings.h"
#include "infra/globals.h"
#include "log_reader.h"
#include "log_text.h"
#include "sim_control.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

namespace {

using trvtest::Calls;
using trvtest::Has;
using trvtest::Journal;

// Index of the first journal line starting with `prefix`, or -1.
long IndexOf(const std::vector<std::string>& lines, const std::string& prefix) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

class CameraControl : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        wcscpy_s(gConfigDir, settings.configDir.c_str());
        log.Drain();
    }
    void TearDown() override {
        for (MyCam& c : gMyCams) {
            CloseCamera(c);
        }
        gMyCams.clear();
        EXPECT_EQ(Stats().liveBlocks, 0);
        sim_reset();
    }
    void Configure(int index, const char* key, const char* value) {
        ASSERT_EQ(sim_configure(index, key, value), 0) << key << "=" << value;
    }
    // Opens the first free camera as the current record, live, journal and log emptied.
    MyCam& OpenCurrent() {
        gMyCams.push_back({});
        MyCam& c = gMyCams.back();
        c.m_nTriggerMode = 1;
        EXPECT_TRUE(OpenCamera(c, nullptr, L""));
        sim_journal_clear();
        TakeLog();
        return c;
    }
    std::string TakeLog() { return ToUtf8(log.Drain()); }
    SimStats Stats() {
        SimStats s = {};
        sim_stats(&s);
        return s;
    }
    // Waits until the camera wrote `frames` more frames; true when no transfer failed meanwhile.
    bool FramesFit(int index, uint32_t frames) {
        const uint32_t before = sim_frames_posted(index);
        const uint32_t failures = Stats().transferFailures;
        for (int i = 0; i < 2000 && sim_frames_posted(index) < before + frames; ++i) {
            Sleep(5);
        }
        return sim_frames_posted(index) >= before + frames && Stats().transferFailures == failures;
    }

    trvtest::HostSettings settings;
    LogReader log;
};

std::string Rect(int32_t x, int32_t y, int32_t w, int32_t h) {
    return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) + "," +
           std::to_string(h);
}

// A sensor of 2048 x 1536: minimal size 32 x 4, size steps 4 x 2, position steps 2 x 2.
TEST_F(CameraControl, AreaOfInterestSetResetAndRead) {
    const SimCamera camera = sim_camera("ONE", 3, 2, 2048, 1536);
    const int i = sim_add_camera(&camera);
    Configure(i, "fps", "100");
    Configure(i, "aoi_pos_min", "8 4");
    Configure(i, "aoi", "8 4 640 480");
    MyCam& cur = OpenCurrent();
    int32_t x = 1, y = 2, w = 3, h = 4;
    SetAoiRect(cur, 0, x, y, w, h);
    EXPECT_EQ(Rect(x, y, w, h), "8,4,2048,1536") << "reset before any set: the limits just read";
    for (const std::string& l : Calls("is_AOI")) {
        EXPECT_FALSE(Has(l, "cmd=8 ") || Has(l, "cmd=17 ") || Has(l, "cmd=18 ")) << l;
    }
    EXPECT_EQ(Calls("is_FrameRate")[0], "is_FrameRate hCam=1 fps=0 -> 0 new=1");
    Configure(i, "fps", "100");
    Configure(i, "exposure", "10");
    sim_journal_clear();
    TakeLog();
    x = 101, y = 51, w = 1002, h = 503;
    SetAoiRect(cur, 1, x, y, w, h);
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
        "is_AOI hCam=1 cmd=2 size=16"};
    ASSERT_GE(steps.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(steps.begin(), steps.begin() + 11), expected);
    EXPECT_EQ(steps.back(), "is_CaptureVideo hCam=1 wait=1");
    EXPECT_LT(IndexOf(j, "is_ImageMemAlloc hCam=1 w=1000 h=502 bits=24 -> 0"),
              IndexOf(j, "is_FrameRate hCam=1 fps=100 -> 0"))
        << "memory first, then the timing: the cap of 10 ms is 100 frames a second";
    const std::string l = TakeLog();
    EXPECT_TRUE(Has(l, "MyCam::SetAoiRect GetSizMax nRet=0 w=2048 h=1536\n"
                       "MyCam::SetAoiRect GetPosMin nRet=0 x=8 y=4\n"))
        << l;
    EXPECT_TRUE(Has(l, "MyCam::SetAoiRect x=102 y=50 w=1000 h=502\n"
                       "MyCam::SetAoiRect is_AOI=0\n"
                       "MyCam::SetAoiRect x=102 y=50 w=1000 h=502\n"
                       "***** UEYECAM ReallocMemory x=102 y=50 w=1000 h=502\n"))
        << l;
    EXPECT_TRUE(FramesFit(i, 3)) << "frames of the new size fit the new memory";

    // Every mode but 0 and 2 sets; the camera's answer goes back, refused or not.
    struct Case {
        int32_t mode, x, y, w, h;
        const char* back;
    };
    const Case cases[] = {
        {3, 0, 0, 640, 480, "8,4,640,480"},
        {-1, 0, 0, 5000, 100, "8,4,640,480"}, // sent as 1476,4,2048,100 and refused
        {INT32_MIN, 2000, 1500, 64, 64, "8,4,640,480"},
        {1, 100, 100, 10, 10, "88,100,32,10"},
    };
    for (const Case& c : cases) {
        x = c.x, y = c.y, w = c.w, h = c.h;
        SetAoiRect(cur, c.mode, x, y, w, h);
        EXPECT_EQ(Rect(x, y, w, h), c.back) << c.mode;
        EXPECT_EQ(Rect(0, 0, cur.m_nSizeX, cur.m_nSizeY), Rect(0, 0, w, h));
    }
    EXPECT_GE(IndexOf(Calls("is_AOI"), "is_AOI hCam=1 cmd=1 size=16 in=1476,4,2048,100 -> 125"), 0);
    EXPECT_EQ(Stats().liveBlocks, 1);
    cur.m_bLive = false;
    Configure(i, "aoi_size_max", "1024 768"); // the camera now reports other limits
    sim_journal_clear();
    SetAoiRect(cur, 0, x, y, w, h);
    EXPECT_GE(IndexOf(Calls("is_AOI"), "is_AOI hCam=1 cmd=1 size=16 in=8,4,2048,1536 -> 125"), 0)
        << "the full frame saved by the last set";
    EXPECT_TRUE(Calls("is_StopLiveVideo").empty() && Calls("is_CaptureVideo").empty());
    TakeLog();

    sim_journal_clear();
    ASSERT_TRUE(GetAoiRect(cur, x, y, w, h));
    EXPECT_EQ(Journal(),
              std::vector<std::string>{"is_AOI hCam=1 cmd=2 size=16 -> 0 x=88 y=100 w=32 h=10"});
    EXPECT_EQ(TakeLog(), "***** UEYECAM GetAoiRect x=88 y=100 w=32 h=10\n");
}

// The folder + "tarvello.ini" fits 259 characters up to a folder of 247, + "ueyecam.ini" up to
// 248. A path that does not fit is not used cut: the file counts as missing. Then, on the same
// camera: free run leaves it alone, and opening it while it is open closes it first.
TEST_F(CameraControl, FilePathsThatDoNotFitAreNotUsed) {
    const SimCamera cam = sim_camera("P", 1, 2, 64, 48);
    sim_add_camera(&cam);
    MyCam& c = OpenCurrent();
    gFocusType = 1;
    for (size_t length : {247, 248, 249}) {
        const std::string dir(length, 'd');
        wcscpy_s(gConfigDir, std::wstring(length, L'd').c_str());
        sim_journal_clear();
        LoadFile(c, true, L"");
        MyStrobeEnable(c);
        const std::string log = TakeLog(), tooLong = " path longer than 259 characters: " + dir;
        EXPECT_EQ(Has(log, "LoadFile Param File NOT loaded," + tooLong + "ueyecam.ini\n"),
                  length > 248);
        EXPECT_EQ(Calls("is_ParameterFile").size(), length > 248 ? 0u : 1u) << log;
        EXPECT_EQ(Has(log, "UEYE ini" + tooLong + "tarvello.ini\nUEYE triggerType=1\n"),
                  length > 247);
    }
    gFocusType = 3; // free run: the camera is left as it is
    sim_journal_clear();
    MyStrobeEnable(c);
    EXPECT_TRUE(Has(TakeLog(), "UEYE MyStrobeEnable free running live=1 ")) << "the trigger state";
    EXPECT_TRUE(Calls("is_StopLiveVideo").empty() && Calls("is_IO").empty());
    ASSERT_TRUE(OpenCamera(c, nullptr, L"")); // an open record is closed first
    const long exit = IndexOf(Journal(), "is_CameraExit hCam=1");
    EXPECT_TRUE(exit >= 0 && exit < IndexOf(Journal(), "is_CameraInit"));
}

} // namespace
