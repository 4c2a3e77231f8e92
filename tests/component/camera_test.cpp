// Camera operations on fresh records against the simulated library: the journal shows the
// calls, the shared log shows the lines.
#include "camera/camera_list.h"
#include "camera/capture_status.h"
#include "camera/image_memory.h"
#include "camera/open_close.h"
#include "camera/parameter_files.h"
#include "entry/globals.h"
#include "log_reader.h"
#include "sim_control.h"

#include "sim_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using trvtest::Calls;
using trvtest::Journal;

// The journal lines that start with `call`.

SimCamera Camera(const char* serial, uint32_t device, uint8_t color = 2) {
    return sim_camera(serial, device, color, 64, 32);
}

class CameraOps : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        gCamList.clear();
        gCamShareConfig = false;
        gCurCamConfigId = 0xFFFFFFFFu;
        wcscpy_s(gConfigDir, L"C:\\cfg\\");
        wcscpy_s(gCamFileName, L"ueyecam.ini");
        SetEnvironmentVariableW(L"TRV_SETTINGS", nullptr);
        log.Drain();
    }
    void TearDown() override {
        CloseCamera(cam);
        sim_reset();
    }
    void Add(const SimCamera& c) { sim_add_camera(&c); }
    std::string TakeLog() { return ToUtf8(log.Drain()); }
    bool LogHas(const std::string& log, const std::string& piece) {
        return log.find(piece) != std::string::npos;
    }

    MyCam cam = {};
    LogReader log;
};

TEST_F(CameraOps, FirstFreeCameraOpensAndStartsLive) {
    Add(Camera("ONE", 3));
    cam.m_nTriggerMode = 1;
    ASSERT_TRUE(OpenCamera(cam, reinterpret_cast<HWND>(1), L""));
    EXPECT_NE(cam.m_hCam, 0u);
    EXPECT_TRUE(cam.m_bLive);
    EXPECT_EQ(cam.m_nSizeX, 64);
    EXPECT_EQ(cam.m_nBitsPerPixel, 24);
    EXPECT_EQ(cam.m_nColorMode, 1);
    EXPECT_NE(cam.m_pcImageMemory, nullptr);
    EXPECT_EQ(Calls("is_CameraInit").size(), 1u);
    EXPECT_EQ(Calls("is_CameraInit")[0].rfind("is_CameraInit id=0x0 ", 0), 0u);
    // Only the default file: no configuration and no serial number.
    EXPECT_EQ(Calls("is_ParameterFile").size(), 1u);
    const std::vector<std::string> events = Calls("is_EventMessage");
    ASSERT_EQ(events.size(), 6u);
    const char* order[] = {"4096", "4", "0", "2", "3", "7"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_NE(events[i].find(std::string("event=") + order[i] + " hWnd=window"),
                  std::string::npos)
            << events[i];
    }
    const std::vector<std::string> triggers = Calls("is_TriggerMode");
    EXPECT_TRUE(std::any_of(triggers.begin(), triggers.end(), [](const std::string& l) {
        return l.find("mode=0x1008 -> 0") != std::string::npos;
    })) << "software trigger is set when the record asks for it";
    EXPECT_FALSE(Calls("is_CaptureVideo").empty());
    const std::string l = TakeLog();
    EXPECT_TRUE(LogHas(l, "***** UEYECAM OpenCamera1 userSerNO()\n")) << l;
    EXPECT_TRUE(LogHas(l, "LoadFile3: C:\\cfg\\ueyecam.ini\n"));
    EXPECT_TRUE(LogHas(l, "LoadFile Param File NOT loaded: C:\\cfg\\ueyecam.ini\n"));
    EXPECT_TRUE(LogHas(l, "***** UEYECAM OpenCamera5 m_nSizeX=64 m_nSizeY=32\n"));
    EXPECT_TRUE(LogHas(l, "***** UEYECAM OpenCamera9\n"));
    EXPECT_FALSE(LogHas(l, "CamSN")) << "one camera: the CamSN key is not read";
}

TEST_F(CameraOps, UnknownSerialMakesNoInitCall) {
    Add(Camera("ONE", 3));
    EXPECT_FALSE(OpenCamera(cam, nullptr, L"ON"));
    EXPECT_TRUE(Calls("is_CameraInit").empty());
    EXPECT_TRUE(LogHas(TakeLog(), "UEYE ERROR: Unble to find camera ON\n"));
    EXPECT_FALSE(OpenCamera(cam, nullptr, L"one")) << "serial numbers compare case-sensitively";
}

TEST_F(CameraOps, SerialNumberOpensByDeviceIdWithoutLiveVideo) {
    Add(Camera("AAA", 3));
    Add(Camera("BBB", 9));
    ASSERT_TRUE(OpenCamera(cam, reinterpret_cast<HWND>(1), L"BBB"));
    EXPECT_FALSE(cam.m_bLive) << "several cameras: live video starts on a stream switch";
    ASSERT_EQ(Calls("is_CameraInit").size(), 1u);
    EXPECT_EQ(Calls("is_CameraInit")[0].rfind("is_CameraInit id=0x8009 ", 0), 0u);
    EXPECT_TRUE(Calls("is_CaptureVideo").empty());
    const std::string l = TakeLog();
    EXPECT_TRUE(LogHas(l, "UEYE Opened camera BBB\n"));
    EXPECT_TRUE(LogHas(l, "LoadFile2 file=C:\\cfg\\ueyecam_BBB.ini found=0\n")) << l;
    EXPECT_EQ(Calls("is_ParameterFile").size(), 2u) << "camera file, then the default";
}

TEST_F(CameraOps, InitRetryHappensExactlyOnce) {
    Add(Camera("ONE", 3));
    sim_fail("is_CameraInit", 184, 1);
    ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
    std::vector<std::string> inits = Calls("is_CameraInit");
    ASSERT_EQ(inits.size(), 2u);
    EXPECT_EQ(inits[1].rfind("is_CameraInit id=0x10000 ", 0), 0u) << inits[1];
    EXPECT_EQ(Calls("is_InitRetryQuery").size(), 1u);
    EXPECT_NE(Calls("is_InitRetryQuery")[0].find("cmd=4 value=25000"), std::string::npos);
    CloseCamera(cam);
    sim_journal_clear();
    sim_fail("is_CameraInit", 184, 2);
    EXPECT_FALSE(OpenCamera(cam, nullptr, L""));
    EXPECT_EQ(Calls("is_CameraInit").size(), 2u);
    EXPECT_TRUE(LogHas(TakeLog(), "***** UEYECAM OpenCamera11\n"));
}

TEST_F(CameraOps, ParameterFilesAreTriedConfigurationSerialDefault) {
    Add(Camera("77", 3));
    gCamShareConfig = true;
    gCurCamConfigId = 3;
    ASSERT_TRUE(OpenCamera(cam, nullptr, L"77"));
    const std::string l = TakeLog();
    const size_t a = l.find("LoadFile1 file=C:\\cfg\\ueyecam_3.ini found=0\n");
    const size_t b = l.find("LoadFile2 file=C:\\cfg\\ueyecam_77.ini found=0\n");
    const size_t c = l.find("LoadFile3: C:\\cfg\\ueyecam.ini\n");
    ASSERT_NE(a, std::string::npos) << l;
    ASSERT_NE(b, std::string::npos);
    ASSERT_NE(c, std::string::npos);
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_EQ(Calls("is_ParameterFile").size(), 3u);
    EXPECT_EQ(ConfigFilePath(0xFFFFFFFFu), L"C:\\cfg\\ueyecam_-1.ini");
}

TEST_F(CameraOps, MonoSensorGetsEightBitsAndMemoryIsReplacedNotLeaked) {
    Add(Camera("M", 3, 1));
    ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
    EXPECT_EQ(cam.m_nColorMode, 6);
    EXPECT_EQ(cam.m_nBitsPerPixel, 8);
    sim_journal_clear();
    ASSERT_EQ(InitDisplayMode(cam), 0);
    const std::vector<std::string> j = Journal();
    const auto at = [&](const char* call) {
        return std::find_if(j.begin(), j.end(),
                            [&](const std::string& l) { return l.rfind(call, 0) == 0; }) -
               j.begin();
    };
    EXPECT_LT(at("is_ImageMemFree"), at("is_ImageMemAlloc")) << "released before reallocating";
    EXPECT_NE(Calls("is_ImageMemAlloc")[0].find("w=64 h=32 bits=8 -> 0"), std::string::npos);
    EXPECT_NE(Calls("is_ImageMemFree")[0].find("-> 0"), std::string::npos)
        << "the block freed was a live one";
}

TEST_F(CameraOps, FailedAllocationKeepsTheCameraOpenWithoutEvents) {
    Add(Camera("ONE", 3));
    sim_fail("is_ImageMemAlloc", 1, 1);
    ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
    EXPECT_NE(cam.m_hCam, 0u);
    EXPECT_EQ(cam.m_pcImageMemory, nullptr);
    EXPECT_FALSE(cam.m_bLive);
    EXPECT_TRUE(Calls("is_EventMessage").empty());
    const std::string l = TakeLog();
    EXPECT_TRUE(LogHas(l, "***** UEYECAM InitDisplayMode10\n***** UEYECAM InitDisplayMode12\n"
                          "***** UEYECAM InitDisplayMode14\n"));
    EXPECT_TRUE(LogHas(l, "***** UEYECAM OpenCamera10\n"));
}

TEST_F(CameraOps, CloseReleasesEverythingOnceAndClosedRecordsAreLeftAlone) {
    Add(Camera("ONE", 3));
    ASSERT_TRUE(OpenCamera(cam, reinterpret_cast<HWND>(1), L""));
    sim_journal_clear();
    CloseCamera(cam);
    EXPECT_EQ(cam.m_hCam, 0u);
    EXPECT_EQ(cam.m_pcImageMemory, nullptr);
    const std::vector<std::string> j = Journal();
    ASSERT_EQ(j.size(), 6u + 3u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_NE(j[i].find("hWnd=null -> 0"), std::string::npos) << j[i];
    }
    EXPECT_EQ(j[6].rfind("is_StopLiveVideo", 0), 0u);
    EXPECT_EQ(j[7].rfind("is_ImageMemFree", 0), 0u);
    EXPECT_EQ(j[8].rfind("is_CameraExit", 0), 0u);
    sim_journal_clear();
    CloseCamera(cam);
    EXPECT_TRUE(Journal().empty()) << "a closed record makes no library call";
}

TEST_F(CameraOps, CaptureStatusReportDependsOnVerbose) {
    Add(Camera("ONE", 3));
    ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
    TakeLog();
    sim_journal_clear();
    IsTransferFailed(cam, true);
    EXPECT_EQ(TakeLog(), "IS_CAP_STATUS_COUNT: 0\n");
    IsTransferFailed(cam, false);
    EXPECT_EQ(TakeLog(), "");
    const std::vector<std::string> status = Calls("is_CaptureStatus");
    ASSERT_EQ(status.size(), 4u);
    EXPECT_NE(status[1].find("cmd=1 size=0"), std::string::npos) << "reset after every read";
    sim_fail("is_CaptureStatus", 5, 1);
    IsTransferFailed(cam, true);
    EXPECT_EQ(TakeLog(), "IsTransferFailed ERROR: is_CaptureStatus=5\n");
}

TEST_F(CameraOps, EnumerationRulesAndTextsOfSixteenBytes) {
    SimCamera a = Camera("SIXTEENCHARSERIA", 5);
    a.status = 0x2; // a status bit below device id 1000: not available
    SimCamera b = Camera("B", 1200);
    b.status = 0x13; // status bits do not matter from 1000 on
    SimCamera c = Camera("C", 7);
    c.inUse = 1;
    Add(a);
    Add(b);
    Add(c);
    EnumerateCameras();
    ASSERT_EQ(gCamList.size(), 3u);
    EXPECT_EQ(gCamList[0].strSerNo, L"SIXTEENCHARSERIA") << "read to 16 bytes, never past";
    EXPECT_FALSE(gCamList[0].bAvailable);
    EXPECT_TRUE(gCamList[1].bAvailable);
    EXPECT_EQ(gCamList[1].bDeviceId1000, 1);
    EXPECT_TRUE(gCamList[1].bStatusFlag4);
    EXPECT_FALSE(gCamList[2].bAvailable);
    // Later cameras are not seen: the list is fixed once filled.
    Add(Camera("LATE", 11));
    EnumerateCameras();
    EXPECT_EQ(gCamList.size(), 3u);
}

TEST_F(CameraOps, FailedEnumerationIsTriedAgain) {
    Add(Camera("ONE", 3));
    sim_fail("is_CameraCount", 1, 1);
    EnumerateCameras();
    EXPECT_TRUE(gCamList.empty());
    EXPECT_EQ(TakeLog(), "ERROR: Could not receive camera count\n");
    sim_fail("is_CameraList", 1, 1);
    EnumerateCameras();
    EXPECT_TRUE(gCamList.empty());
    EXPECT_EQ(TakeLog(), "ERROR: Could not receive camera list\n");
    EnumerateCameras();
    EXPECT_EQ(gCamList.size(), 1u);
}

} // namespace
