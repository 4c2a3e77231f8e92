// Start-up, the commands on one live camera, stop and a second start-up, through the real
// export.
#include "e2e_host.h"
#include "host_settings.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace {

using trvtest::CountOf;
using trvtest::gFrames;
using trvtest::Has;

class Lifecycle : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_fps(50);
    }
    void TearDown() override { EXPECT_EQ(gFrames.bad, 0u) << "frames of a wrong size or content"; }
    trvtest::HostSettings settings;
    trvtest::PluginHost host;
};

// The waiting line's pieces `count` times in order; the camera thread's lines may fall between.
bool WaitingLines(const std::string& log, const std::string& seconds, size_t count) {
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        for (const std::string& piece :
             {std::string("***** UEYECAM Init3 waiting "), seconds, std::string("...\n")}) {
            at = log.find(piece, at);
            if (at == std::string::npos) {
                return false;
            }
            at += piece.size();
        }
    }
    return CountOf(log, "***** UEYECAM Init3 waiting ") == count;
}

// `length` characters: `head`, then digits and letters in turn, so that a text cut one
// character early or late differs.
std::wstring Text(const std::wstring& head, int length) {
    std::wstring s = head.substr(0, static_cast<size_t>(std::max(length, 0)));
    while (static_cast<int>(s.size()) < length) {
        s += L"0123456789abcdefghijklmnopqrstuvwxyz"[s.size() % 36];
    }
    return s;
}

struct SliceRow {
    const char* name;
    const wchar_t* wait; // null: absent
    const char* shown;
    size_t slices;
    int texts; // length of the start block's texts; 0 null names, -1 all null
};

// One start-up per process: a second one finds the camera thread running and waits for none.
class StartSlices : public Lifecycle, public testing::WithParamInterface<SliceRow> {};

TEST_P(StartSlices, StartWaitsInWholeSlicesOfFiveSeconds) {
    ASSERT_TRUE(host.loaded());
    const SliceRow& r = GetParam();
    const bool waitsOut = r.shown == std::string("4");
    const SimCamera cam = sim_camera("SLOW", 1, 2, 40, 30);
    sim_add_camera(&cam);
    sim_set_init_delay_ms(600000); // no camera thread signals while the test runs
    // An object of another kind under the event's name: START cannot make its event, so every
    // wait fails at once and the slices are counted without being waited out. The row of 4
    // seconds waits its one slice out. The object stays for the life of the row's process.
    if (!waitsOut) {
        CreateMutexW(nullptr, FALSE, L"TRV_UEYE_EVENT");
    }
    TrvStartParams block = trvtest::StartBlock(settings.configDir);
    const std::wstring folder = Text(L"Z:\\nowhere\\", r.texts), file = Text(L"cam", r.texts),
                       sect = Text(L"sect", r.texts);
    std::wstring section = L"video";
    std::vector<std::string> lines;
    if (r.texts < 0) {
        lines = {"**** TrvCmd: ", "configuration folder", " is null, ignored\n"};
    }
    block.pszConfigDir = r.texts < 0 ? nullptr : r.texts > 0 ? folder.c_str() : block.pszConfigDir;
    if (r.texts > 0) {
        block.pszCamFileName = file.c_str();
        block.pszSection = sect.c_str();
        section = r.texts > 259 ? L"video" : sect; // a name that does not fit is not used
    }
    if (r.texts > 259) {
        for (const char* what : {"configuration folder", "camera file name", "section"}) {
            lines.insert(lines.end(), {"**** TrvCmd: ", what, " too long, ignored\n"});
        }
    }
    settings.Set(L"CamSN_Wait", r.wait, section.c_str());
    const DWORD start = GetTickCount();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    const long spent = static_cast<long>(GetTickCount() - start);
    if (r.wait == nullptr) {
        EXPECT_EQ(block.nSizeX, -1) << "no camera record yet: the size is left alone";
    }
    const std::string log = host.TakeLog();
    lines.insert(lines.end(), {"**** TrvCmd: section=", ToUtf8(section), "\n",
                               "***** UEYECAM Init1\n", "***** UEYECAM Init2\n"});
    EXPECT_TRUE(trvtest::HasInOrder(log, lines)) << log;
    EXPECT_EQ(CountOf(log, " is null, ignored\n"), r.texts < 0 ? 1u : 0u) << "null names are none";
    EXPECT_TRUE(WaitingLines(log, r.shown, r.slices)) << log;
    const long time = trvtest::NumberAfter(log, "***** UEYECAM Init4 time=");
    EXPECT_GE(time, waitsOut ? 4900 : 0) << log;
    EXPECT_LE(time, spent + 20) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartSlices,
    testing::Values(SliceRow{"Absent", nullptr, "60", 12, 0}, SliceRow{"Nine", L"9", "9", 1, 259},
                    SliceRow{"Ten", L"10", "10", 2, 1000}, SliceRow{"Zero", L"0", "0", 1, -1},
                    SliceRow{"Negative", L"-7", "-7", 1, 0}, SliceRow{"Four", L"4", "4", 1, 0}),
    [](const testing::TestParamInfo<SliceRow>& info) { return std::string(info.param.name); });

std::atomic<int32_t> gSecondFrames{0};

void SecondCallback(unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {
    ++gSecondFrames;
}

TEST_F(Lifecycle, OneCameraFromStartToStopAndStartAgain) {
    ASSERT_TRUE(host.loaded());
    const SimCamera cam = sim_camera("A", 1, 2, 320, 240);
    sim_add_camera(&cam);
    ASSERT_EQ(sim_configure(0, "aoi_pos_min", "-6 -6"), 0);
    // START names its own section; no positive CamSN_Max: the single camera.
    settings.Set(L"MaxExposureMs", L"1", L"sect1"); // 1000 ms, as the camera's maximum
    settings.Set(L"CamSN_1", L"NOWHERE", L"sect1");
    settings.Set(L"CamSN_Max", L"-3", L"sect1");
    // "trigger" comes from [video] of tarvello.ini, whatever section START named.
    settings.Trigger(L"3");
    WritePrivateProfileStringW(L"sect1", L"trigger", L"2",
                               (settings.configDir + L"tarvello.ini").c_str());
    settings.WriteConfigFile(L"other.ini", "[sim-camera-parameters]\naoi=0 0 48 24\n");
    const std::string dir = ToUtf8(settings.configDir);
    TrvStartParams block = trvtest::StartBlock(settings.configDir);
    block.pszCamFileName = L"cam1.ini";
    block.pszSection = L"sect1";
    block.nFocusType = 1;
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
    EXPECT_EQ(block.nSizeX, 320);
    EXPECT_EQ(block.nSizeY, 240);
    ASSERT_TRUE(trvtest::MoreFrames(3)) << "no live frames";
    std::string log = host.TakeLog();
    EXPECT_TRUE(Has(log, "**** TrvCmd: _TRV_DSHOW_CMD_START date=")) << log;
    EXPECT_TRUE(Has(log, "**** TrvCmd: section=sect1\n***** UEYECAM Init1\n")) << log;
    EXPECT_TRUE(WaitingLines(log, "60", 1)) << log;
    // The camera thread's lines are written in pieces while START writes its own.
    EXPECT_TRUE(
        trvtest::HasInOrder(log, {"maxCams=", "-3", "size()=", "0\n", "MyLoadSingle begin"}));
    EXPECT_FALSE(Has(log, "MyLoadMultiple key=")) << log;
    EXPECT_TRUE(Has(log, "LoadFile3: " + dir + "cam1.ini\n")) << log;
    EXPECT_FALSE(Has(log, "GetExposure max override")) << "the maximum is not above the camera's";
    // A start while started logs nothing and only reports the size.
    TrvStartParams again = trvtest::StartBlock(settings.configDir);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &again), 1);
    EXPECT_EQ(again.nSizeX, 320);
    EXPECT_EQ(host.TakeLog().find("TrvCmd"), std::string::npos);

    TrvTimingParams timing = {-1.0, -1.0};
    TrvAoiParams down = {1, -3, -5, -7, 64, 48}; // negative positions round down
    TrvAoiParams read = {2, 0, 0, 0, 0, 0};
    TrvAoiParams reset = {0, 5, 5, 0, 5, 5};
    int32_t focusType = 3;
    TrvFrameCallback second = &SecondCallback;
    TrvFrameCallback first = &trvtest::RecordFrame;
    struct Row {
        int32_t code;
        const void* arg;
        int32_t result;
        std::string log;    // a piece of it
        const char* frames; // the size of the next frames, or null
    };
    const Row rows[] = {
        {15, reinterpret_cast<void*>(50), 1,
         "SetExposure: Setting Exposure value=50 time=500.005\n", nullptr},
        {46, &timing, 1, "", nullptr},
        {45, &down, 1, "", "64x48"},
        {45, &read, 1, "***** UEYECAM GetAoiRect x=-4 y=-6 w=64 h=48\n", nullptr},
        {45, &reset, 1, "", "320x240"},
        // The type check leaves the start block's focus type alone.
        {34, &focusType, 1, "GetFocusType=3\n", nullptr},
        {8, nullptr, 1, "StartFocus BEGIN\nUEYE MyStrobeEnable focusType=1 defType=1\n", nullptr},
        {10, nullptr, 1, "StopFocus BEGIN\nMyStrobeDisable\n", "320x240"},
        {42, L"CAM1.INI", 1, "MyResetConfig load new config\nMyResetConfig same config\n", nullptr},
        {42, L"other.ini", 1, "MyReloadFile2 file=" + dir + "other.ini found=1\n", "48x24"},
        {47, &second, 1, "", nullptr},
        {47, &first, 1, "", "48x24"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code);
        sim_journal_clear();
        EXPECT_EQ(host.Cmd(r.code, reinterpret_cast<intptr_t>(r.arg)), r.result);
        log = host.TakeLog();
        EXPECT_TRUE(Has(log, r.log)) << log;
        if (r.frames != nullptr) {
            EXPECT_EQ(trvtest::NextFrames(3), r.frames);
        }
        if (r.arg == &second) {
            EXPECT_TRUE(trvtest::WaitFor([] { return gSecondFrames >= 3; })) << "to command 47's";
        }
        if (r.code == 8) {
            EXPECT_TRUE(Has(log, "UEYE ini=" + dir + "tarvello.ini\nUEYE triggerType=3\n")) << log;
            EXPECT_EQ(trvtest::Calls("is_TriggerMode")[0],
                      "is_TriggerMode hCam=1 mode=0x1002 -> 0");
        }
    }
    EXPECT_EQ(timing.dFrameRate, 50.0);
    EXPECT_EQ(timing.dExposure, 20.0) << "the camera keeps the exposure within a frame";
    EXPECT_EQ(down.x, -4);
    EXPECT_EQ(down.y, -6);
    EXPECT_EQ(down.unused12, -7) << "bytes 12 to 15 are not written";
    EXPECT_EQ(reset.width, 320);
    EXPECT_EQ(focusType, 3);

    // Stop closes the camera and frees its memory; START reports the closed record's size.
    gFrames.nullAllowed = true; // a frame event queued before the stop
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP), 1);
    trvtest::FramesDuring(100);
    EXPECT_EQ(trvtest::FramesDuring(300), 0u) << "frames after STOP";
    EXPECT_EQ(trvtest::SimQuery(0, "handle"), "0");
    SimStats stats = {};
    sim_stats(&stats);
    EXPECT_EQ(stats.liveBlocks, 0);
    EXPECT_EQ(stats.freedByExit, 0) << "the plug-in frees its own memory";
    TrvStartParams closed = trvtest::StartBlock(settings.configDir);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &closed), 1);
    EXPECT_EQ(closed.nSizeX, 48);
    EXPECT_EQ(closed.nSizeY, 24);
    EXPECT_EQ(host.TakeLog(), "TrvCmd: _TRV_DSHOW_CMD_STOP\n");

    // With a null frame callback START stores the block again, yet the camera thread runs on:
    // no new thread, no wait. Null names keep the names in use.
    TrvFrameCallback none = nullptr;
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_FRAME_CALLBACK, &none), 1);
    TrvStartParams restart = trvtest::StartBlock(settings.configDir);
    restart.nFocusType = 7; // not a known type, yet not free run
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &restart), 1);
    EXPECT_EQ(restart.nSizeX, 48);
    log = host.TakeLog();
    EXPECT_TRUE(trvtest::HasInOrder(
        log, {"**** TrvCmd: section=", "sect1", "\n**** TrvCmd: camera thread already running\n"}))
        << log;
    EXPECT_FALSE(Has(log, "Init1") || Has(log, "Init3") || Has(log, "MyLoad")) << log;
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, L"OTHER.INI"), 1);
    EXPECT_TRUE(Has(host.TakeLog(), "MyResetConfig same config\n")) << "the file name in use";
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    EXPECT_TRUE(
        Has(host.TakeLog(), "StartFocus BEGIN\nUEYE MyStrobeEnable focusType=7 defType=1\n"));
}

} // namespace
