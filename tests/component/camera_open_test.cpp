// Choosing, opening and closing a camera; the camera list; parameter files.
#include "camera/capture_status.h"
#include "camera/image_memory.h"
#include "camera_fixture.h"

namespace {

using trvtest::Calls;
using trvtest::Has;
using trvtest::IndexOf;
using trvtest::Journal;

HWND Window() {
    return reinterpret_cast<HWND>(1);
}

class CameraOpen : public trvtest::CameraFixture {};

TEST_F(CameraOpen, FirstFreeCameraOpensAndStartsLive) {
    Add("ONE", 3);
    cam.m_nTriggerMode = 1;
    ASSERT_TRUE(OpenCamera(cam, Window(), L""));
    EXPECT_NE(cam.m_hCam, 0u);
    EXPECT_TRUE(cam.m_bLive);
    EXPECT_EQ(Query(0, "live"), "1");
    EXPECT_EQ(cam.m_nSizeX, 64);
    EXPECT_EQ(cam.m_nSizeY, 32);
    ASSERT_EQ(Calls("is_CameraInit").size(), 1u);
    EXPECT_EQ(Calls("is_CameraInit")[0].rfind("is_CameraInit id=0x0 ", 0), 0u);
    EXPECT_EQ(Calls("is_ParameterFile").size(), 1u) << "only the default file";
    const std::vector<std::string> events = Calls("is_EventMessage");
    ASSERT_EQ(events.size(), 6u);
    const char* order[] = {"4096", "4", "0", "2", "3", "7"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_TRUE(Has(events[i], std::string("event=") + order[i] + " hWnd=window -> 0"))
            << events[i];
    }
    // Events are enabled before the trigger mode is set, and live video starts last.
    const std::vector<std::string> j = Journal();
    const long lastEvent = IndexOf(j, "is_EventMessage hCam=1 event=7");
    const long trigger = IndexOf(j, "is_TriggerMode hCam=1 mode=0x1008 -> 0");
    const long live = IndexOf(j, "is_CaptureVideo hCam=1 wait=1 -> 0");
    ASSERT_GE(lastEvent, 0);
    EXPECT_LT(lastEvent, trigger);
    EXPECT_LT(trigger, live);
    const std::string l = TakeLog();
    EXPECT_TRUE(Has(l, "***** UEYECAM OpenCamera1 userSerNO()\n***** UEYECAM OpenCamera2a\n"
                       "***** UEYECAM OpenCamera2b\n***** UEYECAM OpenCamera3\n"))
        << l;
    EXPECT_TRUE(Has(l, "LoadFile3: " + ConfigDir() + "ueyecam.ini\n"));
    EXPECT_TRUE(Has(l, "LoadFile Param File NOT loaded: " + ConfigDir() + "ueyecam.ini\n"));
    EXPECT_TRUE(Has(l, "***** UEYECAM OpenCamera5 m_nSizeX=64 m_nSizeY=32\n"
                       "***** UEYECAM OpenCamera6\n***** UEYECAM OpenCamera7\n"
                       "***** UEYECAM OpenCamera8\n***** UEYECAM streaming live video\n"
                       "***** UEYECAM OpenCamera9\n"));
}

TEST_F(CameraOpen, WithoutTriggerSelectorTheTriggerModeIsLeftAlone) {
    Add("ONE", 3);
    cam.m_nTriggerMode = 0;
    ASSERT_TRUE(OpenCamera(cam, Window(), L""));
    EXPECT_TRUE(Calls("is_TriggerMode").empty());
    EXPECT_FALSE(Has(TakeLog(), "OpenCamera7"));
}

// The camera chosen from CamSN when no serial number is passed in.
TEST_F(CameraOpen, CamSnChoosesAmongSeveralCameras) {
    struct Case {
        const char* name;
        int cameras;          // A (device 3), then B (device 9)
        const wchar_t* camSn; // null: key absent
        bool bInUse;
        bool bInitFails;
        int opened; // camera index that ends up open
        std::vector<std::string> logged, notLogged;
    };
    const Case cases[] = {
        {"one camera: CamSN is not read", 1, L"B", false, false, 0, {}, {"UEYE Opened", "Unble"}},
        {"no CamSN", 2, nullptr, false, false, 0, {}, {"UEYE Opened", "Unble"}},
        {"CamSN names B", 2, L"B", false, false, 1, {"UEYE Opened camera B\n"}, {"Unble"}},
        {"CamSN not connected", 2, L"C", false, false, 0, {}, {"UEYE Opened", "Unble"}},
        {"CamSN in other letter case", 2, L"b", false, false, 0, {}, {"UEYE Opened", "Unble"}},
        {"CamSN camera fails to open",
         2,
         L"B",
         false,
         true,
         0,
         {"UEYE ERROR: Unble to open camera B\n"},
         {"UEYE Opened"}},
        {"CamSN camera in use",
         2,
         L"B",
         true,
         false,
         0,
         {"UEYE ERROR: Unble to open camera B\n"},
         {"UEYE Opened"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Add("A", 3);
        if (c.cameras == 2) {
            const int b = Add("B", 9);
            if (c.bInUse) {
                Configure(b, "in_use", "1");
            }
            if (c.bInitFails) {
                sim_fail_camera(b, "is_CameraInit", 3, 1);
            }
        }
        settings.Set(L"CamSN", c.camSn);
        cam = {};
        ASSERT_TRUE(OpenCamera(cam, Window(), L""));
        EXPECT_NE(Query(c.opened, "handle"), "0");
        EXPECT_EQ(cam.m_hCam, static_cast<UeyeHandle>(std::stoul(Query(c.opened, "handle"))));
        EXPECT_TRUE(cam.m_bLive) << "no serial number passed in: live video starts";
        const std::string l = TakeLog();
        for (const std::string& piece : c.logged) {
            EXPECT_TRUE(Has(l, piece)) << piece << "\n" << l;
        }
        for (const std::string& piece : c.notLogged) {
            EXPECT_FALSE(Has(l, piece)) << piece << "\n" << l;
        }
        // A camera opened by CamSN looks for its own parameter file; the first free one never.
        EXPECT_EQ(Has(l, "LoadFile2 file="), c.opened == 1) << l;
        TearDown();
    }
}

TEST_F(CameraOpen, CamSnCameraIsOpenedByDeviceId) {
    Add("A", 3);
    Add("B", 1200);
    settings.Set(L"CamSN", L"B");
    ASSERT_TRUE(OpenCamera(cam, Window(), L""));
    const std::vector<std::string> inits = Calls("is_CameraInit");
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].rfind("is_CameraInit id=0x84b0 hWnd=0000000000000000 -> 0", 0), 0u)
        << inits[0];
}

TEST_F(CameraOpen, SerialNumberPassedIn) {
    Add("ONE", 3);
    EXPECT_FALSE(OpenCamera(cam, nullptr, L"ON")) << "a prefix is not the serial number";
    EXPECT_FALSE(OpenCamera(cam, nullptr, L"one")) << "letter case matters";
    EXPECT_FALSE(OpenCamera(cam, nullptr, L"ONE1"));
    EXPECT_TRUE(Calls("is_CameraInit").empty()) << "no init call for a serial not listed";
    const std::string l = TakeLog();
    EXPECT_TRUE(Has(l, "UEYE ERROR: Unble to find camera ON\n"));
    EXPECT_TRUE(Has(l, "UEYE ERROR: Unble to find camera one\n"));

    Add("TWO", 9);
    gCamList.clear();
    cam.m_nTriggerMode = 1;
    ASSERT_TRUE(OpenCamera(cam, Window(), L"TWO"));
    EXPECT_FALSE(cam.m_bLive) << "several cameras: live video starts on a stream switch";
    EXPECT_TRUE(Calls("is_CaptureVideo").empty());
    EXPECT_EQ(Calls("is_CameraInit")[0].rfind("is_CameraInit id=0x8009 ", 0), 0u);
    const std::string opened = TakeLog();
    EXPECT_TRUE(Has(opened, "UEYE Opened camera TWO\n"));
    EXPECT_TRUE(Has(opened, "***** UEYECAM OpenCamera8\n"));
    EXPECT_FALSE(Has(opened, "streaming live video"));
    EXPECT_EQ(Calls("is_EventMessage").size(), 6u) << "events are registered all the same";
}

TEST_F(CameraOpen, CameraInUseIsChosenBySerialButDoesNotOpen) {
    const int a = Add("ONE", 3);
    Configure(a, "in_use", "1");
    EnumerateCameras();
    ASSERT_EQ(gCamList.size(), 1u);
    EXPECT_FALSE(gCamList[0].bAvailable);
    EXPECT_FALSE(OpenCamera(cam, nullptr, L"ONE"));
    EXPECT_EQ(Calls("is_CameraInit").size(), 1u) << "only the init call decides";
    EXPECT_EQ(cam.m_hCam, 3u | 0x8000u) << "what the failed init call left";
    EXPECT_TRUE(Has(TakeLog(), "UEYE ERROR: Unble to open camera ONE\n"));
}

TEST_F(CameraOpen, NoFreeCameraFails) {
    const int a = Add("ONE", 3);
    Configure(a, "in_use", "1");
    EXPECT_FALSE(OpenCamera(cam, nullptr, L""));
    EXPECT_TRUE(Has(TakeLog(), "***** UEYECAM OpenCamera11\n"));
    EXPECT_TRUE(Calls("is_ParameterFile").empty());
}

TEST_F(CameraOpen, InitRetryHappensExactlyOnce) {
    struct Case {
        std::vector<int32_t> results; // of the init calls, in order
        bool opens;
    };
    const Case cases[] = {{{184}, true}, {{184, 184}, false}, {{184, 3}, false}, {{3}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.results));
        SetUp();
        const int a = Add("ONE", 3);
        // Faults of the camera apply in turn, the library's first.
        sim_fail("is_CameraInit", c.results[0], 1);
        if (c.results.size() > 1) {
            sim_fail_camera(a, "is_CameraInit", c.results[1], 1);
        }
        cam = {};
        EXPECT_EQ(OpenCamera(cam, nullptr, L""), c.opens);
        const std::vector<std::string> inits = Calls("is_CameraInit");
        const bool retried = c.results[0] == 184;
        ASSERT_EQ(inits.size(), retried ? 2u : 1u);
        EXPECT_EQ(Calls("is_InitRetryQuery").size(), retried ? 1u : 0u);
        if (retried) {
            EXPECT_EQ(Calls("is_InitRetryQuery")[0],
                      "is_InitRetryQuery hCam=0 cmd=4 value=25000 -> 0");
            EXPECT_EQ(inits[1].rfind("is_CameraInit id=0x10000 ", 0), 0u) << inits[1];
        }
        EXPECT_EQ(Has(TakeLog(), "***** UEYECAM OpenCamera11\n"), !c.opens);
        TearDown();
    }
}

TEST_F(CameraOpen, LiveStartFailureIsReportedWithTheCaptureStatus) {
    const int a = Add("ONE", 3);
    sim_post_event(a, 3, 2, 0xC7, 2); // counters raised before the camera opens
    sim_fail("is_CaptureVideo", 108, 1);
    ASSERT_TRUE(OpenCamera(cam, Window(), L""));
    EXPECT_FALSE(cam.m_bLive);
    EXPECT_TRUE(Has(TakeLog(), "***** UEYECAM streaming live video\n"
                               "***** UEYECAM OpenCamera failure: 108\nIS_CAP_STATUS_COUNT: 2\n"
                               "IS_CAP_STATUS_USB_TRANSFER_FAILED: 2\n"));
}

TEST_F(CameraOpen, DisplaySetUpFailuresLeaveTheCameraOpenWithoutEventsOrLive) {
    struct Case {
        const char* call;
        const char* lines;
        bool memoryKept;
    };
    const Case cases[] = {
        {"is_ImageMemAlloc",
         "***** UEYECAM InitDisplayMode9\n***** UEYECAM InitDisplayMode10\n"
         "***** UEYECAM InitDisplayMode12\n***** UEYECAM InitDisplayMode14\n",
         false},
        {"is_ImageMemActivate",
         "***** UEYECAM InitDisplayMode9\n***** UEYECAM InitDisplayMode11\n"
         "***** UEYECAM InitDisplayMode12\n***** UEYECAM InitDisplayMode14\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        SetUp();
        Add("ONE", 3);
        sim_fail(c.call, 2, 1);
        cam = {};
        ASSERT_TRUE(OpenCamera(cam, Window(), L"")) << "opened, even without a display";
        EXPECT_NE(cam.m_hCam, 0u);
        EXPECT_EQ(cam.m_pcImageMemory != nullptr, c.memoryKept);
        EXPECT_FALSE(cam.m_bLive);
        EXPECT_TRUE(Calls("is_EventMessage").empty());
        EXPECT_TRUE(Calls("is_CaptureVideo").empty());
        EXPECT_TRUE(Calls("is_ColorMode").empty());
        const std::string l = TakeLog();
        EXPECT_TRUE(Has(l, c.lines)) << l;
        EXPECT_TRUE(Has(l, "***** UEYECAM OpenCamera5 m_nSizeX=64 m_nSizeY=32\n"
                           "***** UEYECAM OpenCamera10\n"));
        TearDown();
    }
}

TEST_F(CameraOpen, OpeningAnOpenRecordClosesItFirst) {
    Add("ONE", 3);
    ASSERT_TRUE(OpenCamera(cam, Window(), L""));
    sim_journal_clear();
    ASSERT_TRUE(OpenCamera(cam, Window(), L""));
    const std::vector<std::string> j = Journal();
    const long exit = IndexOf(j, "is_CameraExit hCam=1 -> 0");
    const long init = IndexOf(j, "is_CameraInit");
    ASSERT_GE(exit, 0);
    EXPECT_LT(exit, init);
    EXPECT_LT(IndexOf(j, "is_ImageMemFree hCam=1"), exit);
    EXPECT_EQ(Stats().liveBlocks, 1);
    EXPECT_EQ(Stats().badFrees, 0);
}

TEST_F(CameraOpen, CloseReleasesEverythingOnceAndClosedRecordsAreLeftAlone) {
    Add("ONE", 3);
    ASSERT_TRUE(OpenCamera(cam, Window(), L""));
    sim_journal_clear();
    CloseCamera(cam);
    EXPECT_EQ(cam.m_hCam, 0u);
    EXPECT_EQ(cam.m_pcImageMemory, nullptr);
    EXPECT_TRUE(cam.m_bLive) << "close leaves the live flag as it was";
    const std::vector<std::string> j = Journal();
    ASSERT_EQ(j.size(), 6u + 3u);
    const char* order[] = {"4096", "4", "0", "2", "3", "7"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(j[i],
                  std::string("is_EventMessage hCam=1 event=") + order[i] + " hWnd=null -> 0");
    }
    EXPECT_EQ(j[6], "is_StopLiveVideo hCam=1 wait=1 -> 0");
    EXPECT_EQ(j[7].rfind("is_ImageMemFree hCam=1 id=", 0), 0u);
    EXPECT_TRUE(Has(j[7], " -> 0"));
    EXPECT_EQ(j[8], "is_CameraExit hCam=1 -> 0");
    const SimStats s = Stats();
    EXPECT_EQ(s.liveBlocks, 0);
    EXPECT_EQ(s.freedByExit, 0) << "the plug-in freed its memory itself";
    EXPECT_EQ(s.badFrees, 0);
    sim_journal_clear();
    CloseCamera(cam);
    EXPECT_TRUE(Journal().empty()) << "a closed record makes no library call";
    EXPECT_EQ(Stats().closedHandleCalls, 0);
}

TEST_F(CameraOpen, EnumerationRulesAndTextsOfSixteenBytes) {
    const int a = Add("SIXTEENCHARSERIA", 5);
    Configure(a, "status", "2"); // a status bit below device id 1000: not available
    Configure(a, "info", "INFOINFOINFOINFO");
    const int b = Add("B", 1200);
    Configure(b, "status", "0x13"); // status bits do not matter from 1000 on
    const int c = Add("C", 7);
    Configure(c, "in_use", "1");
    const int d = Add("D", 999);
    Configure(d, "status", "0x10");
    const int e = Add("E", 1000);
    Configure(e, "in_use", "1");
    EnumerateCameras();
    ASSERT_EQ(gCamList.size(), 5u);
    EXPECT_EQ(gCamList[0].strSerNo, L"SIXTEENCHARSERIA") << "read to 16 bytes, never past";
    EXPECT_EQ(gCamList[0].strInfo, L"INFOINFOINFOINFO");
    EXPECT_FALSE(gCamList[0].bAvailable);
    EXPECT_EQ(gCamList[0].bDeviceId1000, 0);
    EXPECT_TRUE(gCamList[1].bAvailable);
    EXPECT_EQ(gCamList[1].bDeviceId1000, 1);
    EXPECT_TRUE(gCamList[1].bStatusFlag4);
    EXPECT_EQ(gCamList[1].nDeviceId, 1200u);
    EXPECT_FALSE(gCamList[2].bAvailable);
    EXPECT_TRUE(gCamList[3].bAvailable) << "bit 4 alone does not make a camera unavailable";
    EXPECT_TRUE(gCamList[3].bStatusFlag4);
    EXPECT_FALSE(gCamList[4].bAvailable) << "in use, device id 1000";
    EXPECT_EQ(gCamList[4].bDeviceId1000, 1);
    // Cameras connected later are not seen: the list is fixed once filled.
    Add("LATE", 11);
    EnumerateCameras();
    EXPECT_EQ(gCamList.size(), 5u);
    EXPECT_FALSE(OpenCamera(cam, nullptr, L"LATE"));
    EXPECT_TRUE(Has(TakeLog(), "UEYE ERROR: Unble to find camera LATE\n"));
}

TEST_F(CameraOpen, FailedOrEmptyEnumerationIsTriedAgain) {
    sim_fail("is_CameraCount", 1, 1);
    EnumerateCameras();
    EXPECT_TRUE(gCamList.empty());
    EXPECT_EQ(TakeLog(), "ERROR: Could not receive camera count\n");
    EnumerateCameras(); // no camera connected yet
    EXPECT_TRUE(gCamList.empty());
    Add("ONE", 3);
    sim_fail("is_CameraList", 1, 1);
    EnumerateCameras();
    EXPECT_TRUE(gCamList.empty());
    EXPECT_EQ(TakeLog(), "ERROR: Could not receive camera list\n");
    EnumerateCameras();
    EXPECT_EQ(gCamList.size(), 1u);
    EXPECT_EQ(Calls("is_CameraCount").size(), 4u);
}

class ParameterFiles : public trvtest::CameraFixture {
  protected:
    std::string Path(const std::string& name) { return ConfigDir() + name; }
};

const char* kSmallArea = "[sim-camera-parameters]\naoi=0 0 32 16\n";

TEST_F(ParameterFiles, OrderIsConfigurationSerialDefault) {
    Add("77", 3);
    gCamShareConfig = true;
    gCurCamConfigId = 3;
    ASSERT_TRUE(OpenCamera(cam, nullptr, L"77"));
    const std::string l = TakeLog();
    const size_t a = l.find("LoadFile1 file=" + Path("ueyecam_3.ini") +
                            " found=0\n"
                            "LoadFile Param File NOT loaded: " +
                            Path("ueyecam_3.ini") + "\n");
    const size_t b = l.find("LoadFile2 file=" + Path("ueyecam_77.ini") +
                            " found=0\n"
                            "LoadFile Param File NOT loaded: " +
                            Path("ueyecam_77.ini") + "\n");
    const size_t c = l.find("LoadFile3: " + Path("ueyecam.ini") +
                            "\n"
                            "LoadFile Param File NOT loaded: " +
                            Path("ueyecam.ini") + "\n");
    ASSERT_NE(a, std::string::npos) << l;
    ASSERT_NE(b, std::string::npos) << l;
    ASSERT_NE(c, std::string::npos) << l;
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    const std::vector<std::string> loads = Calls("is_ParameterFile");
    ASSERT_EQ(loads.size(), 3u);
    EXPECT_TRUE(Has(loads[0], "cmd=2 size=0 path=" + Path("ueyecam_3.ini") + " -> "));
    EXPECT_EQ(Setting(L"CamShareLast"), "<none>");
    EXPECT_EQ(ConfigFilePath(0xFFFFFFFFu), settings.configDir + L"ueyecam_-1.ini");
    EXPECT_EQ(ConfigFilePath(0x80000000u), settings.configDir + L"ueyecam_-2147483648.ini");
}

TEST_F(ParameterFiles, ConfigurationFileLoadsIsRememberedAndEndsTheSearch) {
    Add("77", 3);
    WriteConfigFile(L"ueyecam_3.ini", kSmallArea);
    gCamShareConfig = true;
    gCurCamConfigId = 3;
    ASSERT_TRUE(OpenCamera(cam, nullptr, L"77"));
    const std::string l = TakeLog();
    EXPECT_TRUE(Has(l, "LoadFile1 file=" + Path("ueyecam_3.ini") +
                           " found=1\n"
                           "LoadFile Param File loaded: " +
                           Path("ueyecam_3.ini") + "\n"))
        << l;
    EXPECT_FALSE(Has(l, "LoadFile2"));
    EXPECT_FALSE(Has(l, "LoadFile3"));
    EXPECT_EQ(Calls("is_ParameterFile").size(), 1u);
    EXPECT_EQ(Setting(L"CamShareLast"), "3");
    EXPECT_EQ(cam.m_nSizeX, 32) << "the size the file set is read back";
    EXPECT_EQ(cam.m_nSizeY, 16);
}

TEST_F(ParameterFiles, SerialOrDefaultFileLeavesCamShareLastAlone) {
    for (const wchar_t* file : {L"ueyecam_77.ini", L"ueyecam.ini"}) {
        SCOPED_TRACE(ToUtf8(file));
        SetUp();
        Add("77", 3);
        settings.Set(L"CamShareLast", L"12");
        const std::wstring path = WriteConfigFile(file, kSmallArea);
        gCamShareConfig = true;
        gCurCamConfigId = 3;
        cam = {};
        ASSERT_TRUE(OpenCamera(cam, nullptr, L"77"));
        EXPECT_TRUE(Has(TakeLog(), "LoadFile Param File loaded: " + ConfigDir() + ToUtf8(file)));
        EXPECT_EQ(Setting(L"CamShareLast"), "12");
        EXPECT_EQ(cam.m_nSizeX, 32);
        DeleteFileW(path.c_str()); // only one of the two files at a time
        TearDown();
    }
}

TEST_F(ParameterFiles, FirstFreeCameraNeverTriesASerialFile) {
    Add("A", 3);
    Add("B", 9);
    settings.Set(L"CamSN", L"NOTCONNECTED");
    WriteConfigFile(L"ueyecam_NOTCONNECTED.ini", kSmallArea);
    WriteConfigFile(L"ueyecam_A.ini", kSmallArea);
    ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
    EXPECT_EQ(Calls("is_ParameterFile").size(), 1u);
    EXPECT_FALSE(Has(TakeLog(), "LoadFile2"));
    EXPECT_EQ(cam.m_nSizeX, 64) << "the camera keeps its own settings";
}

TEST_F(ParameterFiles, FolderOrRefusedFileIsLoggedAndTheNextIsTried) {
    Add("77", 3);
    const std::wstring folder = settings.configDir + L"ueyecam_77.ini";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    WriteConfigFile(L"ueyecam.ini", "[other]\naoi=0 0 32 16\n"); // not the library's format
    ASSERT_TRUE(OpenCamera(cam, nullptr, L"77"));
    RemoveDirectoryW(folder.c_str());
    const std::string l = TakeLog();
    EXPECT_TRUE(Has(l, "LoadFile2 file=" + Path("ueyecam_77.ini") +
                           " found=0\n"
                           "LoadFile Param File NOT loaded: " +
                           Path("ueyecam_77.ini") + "\n"))
        << l;
    EXPECT_TRUE(Has(l, "LoadFile Param File NOT loaded: " + Path("ueyecam.ini") + "\n"));
    EXPECT_EQ(Calls("is_ParameterFile").size(), 2u) << "the folder's path is still passed";
    EXPECT_EQ(cam.m_nSizeX, 64) << "opening goes on with the camera as it is";
}

TEST_F(ParameterFiles, FolderWithoutSeparatorIsGluedToTheName) {
    Add("A", 3);
    wcscpy_s(gConfigDir, L"C:\\cfg");
    ASSERT_TRUE(OpenCamera(cam, nullptr, L""));
    EXPECT_TRUE(Has(TakeLog(), "LoadFile3: C:\\cfgueyecam.ini\n"));
}

} // namespace
