// Choosing, opening and closing a camera; the camera list; parameter files.
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

TEST_F(CameraOpen, OpenReopenAndCloseInTheirOrder) {
    Add("ONE", 3);
    cam.m_nTriggerMode = 1;
    ASSERT_TRUE(OpenCamera(cam, Window(), L""));
    EXPECT_TRUE(cam.m_bLive);
    EXPECT_EQ(cam.m_nSizeX, 64);
    EXPECT_EQ(cam.m_nSizeY, 32);
    const char* events[] = {"4096", "4", "0", "2", "3", "7"};
    std::vector<std::string> enabled;
    for (const char* e : events) {
        enabled.push_back(std::string("is_EventMessage hCam=1 event=") + e + " hWnd=window -> 0");
    }
    EXPECT_EQ(Calls("is_EventMessage"), enabled);
    std::vector<std::string> j = Journal();
    const long trigger = IndexOf(j, "is_TriggerMode hCam=1 mode=0x1008 -> 0");
    EXPECT_LT(IndexOf(j, "is_EventMessage hCam=1 event=7"), trigger);
    EXPECT_LT(trigger, IndexOf(j, "is_CaptureVideo hCam=1 wait=1 -> 0"));
    const std::string l = TakeLog();
    EXPECT_TRUE(Has(l, "***** UEYECAM OpenCamera1 userSerNO()\n***** UEYECAM OpenCamera2a\n"
                       "***** UEYECAM OpenCamera2b\n***** UEYECAM OpenCamera3\nLoadFile3: " +
                           ConfigDir() + "ueyecam.ini\nLoadFile Param File NOT loaded: " +
                           ConfigDir() + "ueyecam.ini\n"))
        << l;
    EXPECT_TRUE(Has(l, "***** UEYECAM OpenCamera5 m_nSizeX=64 m_nSizeY=32\n"));
    EXPECT_TRUE(Has(l, "***** UEYECAM OpenCamera6\n***** UEYECAM OpenCamera7\n"
                       "***** UEYECAM OpenCamera8\n***** UEYECAM streaming live video\n"
                       "***** UEYECAM OpenCamera9\n"));

    // Opening an open record closes it first; closing releases everything once.
    sim_journal_clear();
    ASSERT_TRUE(OpenCamera(cam, Window(), L""));
    j = Journal();
    EXPECT_LT(IndexOf(j, "is_ImageMemFree hCam=1"), IndexOf(j, "is_CameraExit hCam=1 -> 0"));
    EXPECT_LT(IndexOf(j, "is_CameraExit hCam=1 -> 0"), IndexOf(j, "is_CameraInit"));
    sim_journal_clear();
    CloseCamera(cam);
    EXPECT_EQ(cam.m_hCam, 0u);
    EXPECT_EQ(cam.m_pcImageMemory, nullptr);
    j = Journal();
    ASSERT_EQ(j.size(), 9u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(j[i],
                  std::string("is_EventMessage hCam=2 event=") + events[i] + " hWnd=null -> 0");
    }
    EXPECT_EQ(j[6], "is_StopLiveVideo hCam=2 wait=1 -> 0");
    EXPECT_TRUE(j[7].rfind("is_ImageMemFree hCam=2 id=", 0) == 0 && Has(j[7], " -> 0")) << j[7];
    EXPECT_EQ(j[8], "is_CameraExit hCam=2 -> 0");
    sim_journal_clear();
    CloseCamera(cam);
    EXPECT_TRUE(Journal().empty()) << "a closed record makes no library call";
    const SimStats s = Stats();
    EXPECT_EQ(s.liveBlocks, 0);
    EXPECT_EQ(s.freedByExit + s.badFrees + s.closedHandleCalls, 0);
}

// Which camera opens: a serial number passed in, else CamSN, else the first free camera.
// Camera A is device 3, camera B device 1200 (opened by device id with 0x8000).
TEST_F(CameraOpen, ChoosesTheCamera) {
    struct Case {
        const char* name;
        bool oneCamera;
        const wchar_t* camSn; // null: key absent
        const wchar_t* serial;
        int bFault; // 1: B in use, 2: B's init fails
        int opened; // -1: none
        bool live;
        const char* logged;
        const char* init; // start of the last init call
    };
    const Case cases[] = {
        {"one camera: CamSN not read", true, L"B", L"", 0, 0, true, "OpenCamera3", "id=0x0 "},
        {"no CamSN", false, nullptr, L"", 0, 0, true, "OpenCamera3", "id=0x0 "},
        {"CamSN names B", false, L"B", L"", 0, 1, true, "UEYE Opened camera B\n", "id=0x84b0 "},
        {"CamSN not connected", false, L"C", L"", 0, 0, true, "OpenCamera3", "id=0x0 "},
        {"CamSN in other case", false, L"b", L"", 0, 0, true, "OpenCamera3", "id=0x0 "},
        {"CamSN in use", false, L"B", L"", 1, 0, true, "UEYE ERROR: Unble to open camera B\n",
         "id=0x0 "},
        {"CamSN fails", false, L"B", L"", 2, 0, true, "UEYE ERROR: Unble to open camera B\n",
         "id=0x0 "},
        {"serial passed in", false, L"A", L"B", 0, 1, false, "UEYE Opened camera B\n",
         "id=0x84b0 "},
        {"serial prefix", false, nullptr, L"B1", 0, -1, false,
         "UEYE ERROR: Unble to find camera B1\n", nullptr},
        {"serial in other case", false, nullptr, L"b", 0, -1, false,
         "UEYE ERROR: Unble to find camera b\n", nullptr},
        {"serial of a camera in use", false, nullptr, L"B", 1, -1, false,
         "UEYE ERROR: Unble to open camera B\n", "id=0x84b0 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        Add("A", 3);
        if (!c.oneCamera) {
            const int b = Add("B", 1200);
            if (c.bFault == 1) {
                Configure(b, "in_use", "1");
            } else if (c.bFault == 2) {
                sim_fail_camera(b, "is_CameraInit", 3, 1);
            }
        }
        settings.Set(L"CamSN", c.camSn);
        EXPECT_EQ(OpenCamera(cam, Window(), c.serial), c.opened >= 0);
        if (c.opened >= 0) {
            EXPECT_EQ(std::to_string(cam.m_hCam), Query(c.opened, "handle"));
        }
        EXPECT_EQ(cam.m_bLive, c.live) << "live video starts only without a serial passed in";
        const std::vector<std::string> inits = Calls("is_CameraInit");
        ASSERT_EQ(inits.empty(), c.init == nullptr) << "no init call for a serial not listed";
        if (c.init != nullptr) {
            EXPECT_TRUE(Has(inits.back(), c.init)) << inits.back();
        }
        const std::string l = TakeLog();
        EXPECT_TRUE(Has(l, c.logged)) << l;
        EXPECT_EQ(Has(l, "UEYE Opened"), Has(c.logged, "UEYE Opened")) << l;
        EXPECT_EQ(Has(l, "Unble"), Has(c.logged, "Unble")) << l;
        // Only a camera opened by serial number looks for its own parameter file.
        EXPECT_EQ(Has(l, "LoadFile2 file="), c.opened == 1) << l;
    }
}

// Image sizes no memory can be made for: the camera stays open without events or live video.
TEST_F(CameraOpen, GarbageSizesFromTheCamera) {
    for (const char* aoi : {"0 0 -64 32", "0 0 0 0", "0 0 2147483647 2147483647",
                            "0 0 -2147483648 -2147483648", "0 0 100000 100000"}) {
        SCOPED_TRACE(aoi);
        Fresh();
        Configure(Add("ONE", 3), "aoi", aoi);
        ASSERT_TRUE(OpenCamera(cam, Window(), L""));
        EXPECT_NE(cam.m_hCam, 0u);
        EXPECT_EQ(cam.m_pcImageMemory, nullptr);
        EXPECT_FALSE(cam.m_bLive);
        EXPECT_TRUE(Calls("is_EventMessage").empty() && Calls("is_ColorMode").empty());
        EXPECT_EQ(Stats().liveBlocks, 0);
        EXPECT_TRUE(Has(TakeLog(), "***** UEYECAM OpenCamera10\n"));
    }
}

TEST_F(CameraOpen, CameraListIsFilledOnceAndRetriedUntilThen) {
    sim_fail("is_CameraCount", 1, 1);
    EnumerateCameras();
    EXPECT_EQ(TakeLog(), "ERROR: Could not receive camera count\n");
    EnumerateCameras(); // no camera connected yet
    const int a = Add("ONE", 3);
    Configure(a, "in_use", "1");
    sim_fail("is_CameraList", 1, 1);
    EnumerateCameras();
    EXPECT_TRUE(gCamList.empty());
    EXPECT_EQ(TakeLog(), "ERROR: Could not receive camera list\n");
    sim_configure(-1, "list_count", "6"); // more than the buffer was made for
    EnumerateCameras();
    ASSERT_EQ(gCamList.size(), 1u);
    EXPECT_EQ(Calls("is_CameraCount").size(), 4u);
    EXPECT_FALSE(gCamList[0].bAvailable);
    Add("LATE", 11);
    EXPECT_FALSE(OpenCamera(cam, nullptr, L"LATE")) << "the list is fixed once filled";
    // A camera in use is still tried by serial number: only the init call decides.
    EXPECT_FALSE(OpenCamera(cam, nullptr, L"ONE"));
    EXPECT_EQ(Calls("is_CameraInit").size(), 1u);
    EXPECT_EQ(cam.m_hCam, 3u | 0x8000u) << "what the failed init call left";
    const std::string steps = "***** UEYECAM OpenCamera2a\n***** UEYECAM OpenCamera2b\n";
    EXPECT_EQ(TakeLog(), "***** UEYECAM OpenCamera1 userSerNO(LATE)\n" + steps +
                             "UEYE ERROR: Unble to find camera LATE\n"
                             "***** UEYECAM OpenCamera1 userSerNO(ONE)\n" +
                             steps + "UEYE ERROR: Unble to open camera ONE\n");
}

} // namespace
