// Lens data stored in the camera and the two outputs, through the real export.
#include "infra/trv_params.h"
#include "host_settings.h"
#include "lens_io.h"
#include "plugin_host.h"
#include "sim_control.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using trvtest::ApplyLine;
using trvtest::Calls;
using trvtest::ConfigLine;
using trvtest::Journal;
using trvtest::LevelLine;

void OnFrame(unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {}

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

class LensData : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        SimCamera c = sim_camera("L1", 1, 2, 64, 48);
        sim_add_camera(&c);
        ASSERT_EQ(sim_configure(0, "io_limits", "0 10000"), 0);
    }
    void Store(const trvtest::LensRecord& r) {
        ASSERT_EQ(sim_configure(0, "user_memory", r.Hex().c_str()), 0);
    }
    void Start() {
        ASSERT_TRUE(host.loaded());
        TrvStartParams b = {};
        b.frameCallback = &OnFrame;
        b.pszConfigDir = settings.configDir.c_str();
        b.nFocusType = 3;
        ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &b), 1);
        // Let the first frame's slow-frame line pass before comparing lines.
        for (int i = 0; i < 300 && sim_frames_posted(0) < 3; ++i) {
            Sleep(10);
        }
        Sleep(50);
        host.TakeLog();
        sim_journal_clear();
    }
    int32_t CamRes(TrvPraxCamResParams& block) { return host.CamRes(block); }
    int32_t Control(int32_t type, double percent) { return host.Control(type, percent); }
    // The journal after the two memory calls of the read.
    std::vector<std::string> Writes() {
        std::vector<std::string> j = Journal();
        std::vector<std::string> out;
        for (const std::string& l : j) {
            if (l.rfind("is_IO ", 0) == 0) {
                out.push_back(l);
            }
        }
        return out;
    }

    trvtest::HostSettings settings;
    trvtest::PluginHost host;
};

TEST_F(LensData, ResolutionByUnitCode) {
    struct Case {
        double calibration;
        uint8_t units;
        double res;
        const char* line;
    };
    const Case cases[] = {
        {0.0055, 2, 5.5, "calibration=0.0055 calibrationUnits=2 xres=5.5 yres=5.5\n"},
        {4.4, 3, 4.4, "calibration=4.4 calibrationUnits=3 xres=4.4 yres=4.4\n"},
        {0.002, 1, 2000.0, "calibration=0.002 calibrationUnits=1 xres=2000 yres=2000\n"},
        {1.5, 4, 15.0, "calibration=1.5 calibrationUnits=4 xres=15 yres=15\n"},
        {2.0, 5, 50.8, "calibration=2 calibrationUnits=5 xres=50.8 yres=50.8\n"},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.units);
        trvtest::LensRecord r;
        r.calibration = c.calibration;
        r.units = c.units;
        Store(r);
        TrvPraxCamResParams block = {-1.0, -1.0};
        EXPECT_EQ(CamRes(block), 1);
        EXPECT_DOUBLE_EQ(block.dResX, c.res);
        EXPECT_DOUBLE_EQ(block.dResY, c.res);
        const std::string l = host.TakeLog();
        EXPECT_TRUE(Has(l, "PraxCamRes hCam=1 datasetMajor=1 datasetMinor=2 productRange=3 "
                           "modelNumber=168496141 ok=1 dtRead="))
            << l;
        EXPECT_TRUE(Has(l, std::string("PraxCamRes hCam=1 ") + c.line)) << l;
    }
    // Each command reads the camera anew: the size, then the whole stored data.
    EXPECT_EQ(Calls("is_CameraMemory").size(), 2 * std::size(cases));
    EXPECT_EQ(Calls("is_CameraMemory")[1],
              "is_CameraMemory hCam=1 cmd=4 size=24 offset=0 count=41 zero=0 -> 0");
}

// Records that cannot be used; failing camera-memory calls are among the fault scenarios.
TEST_F(LensData, NoUsableRecordLeavesTheBlockAlone) {
    struct Case {
        const char* name;
        trvtest::LensRecord record;
        double hostValue;
        bool resolved; // the record was used, the block written
        bool nullLine;
    };
    trvtest::LensRecord zeroCalibration;
    zeroCalibration.calibration = 0.0;
    trvtest::LensRecord version2;
    version2.major = 2;
    trvtest::LensRecord shortData;
    shortData.length = 40;
    const Case cases[] = {
        {"calibration 0", zeroCalibration, 7.0, true, true},
        {"dataset version 2", version2, 7.0, false, false},
        {"dataset version 2, host left 0", version2, 0.0, false, true},
        {"40 bytes stored", shortData, 7.0, false, false},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Store(c.record);
        TrvPraxCamResParams block = {c.hostValue, c.hostValue};
        EXPECT_EQ(CamRes(block), 0);
        EXPECT_EQ(block.dResX, c.resolved ? 0.0 : c.hostValue);
        EXPECT_EQ(block.dResY, c.resolved ? 0.0 : c.hostValue);
        const std::string l = host.TakeLog();
        if (!c.resolved) {
            EXPECT_TRUE(Has(l, "PraxCamRes hCam=1 datasetMajor=0 datasetMinor=0 productRange=0 "
                               "modelNumber=0 ok=0 dtRead="))
                << l;
            EXPECT_TRUE(Has(l, "calibration=0 calibrationUnits=0 xres="));
        }
        EXPECT_EQ(Has(l, "PraxCamRes NULL resolution, returning false\n"), c.nullLine) << l;
    }
}

TEST_F(LensData, WithoutCameraBothCommandsActAsForHandleZero) {
    ASSERT_TRUE(host.loaded());
    TrvPraxCamResParams block = {0.0, 0.0};
    EXPECT_EQ(CamRes(block), 0);
    EXPECT_EQ(Control(1, 50.0), 1);
    const std::string l = host.TakeLog();
    EXPECT_TRUE(Has(l, "PraxCamRes hCam=0 datasetMajor=0 datasetMinor=0 productRange=0 "
                       "modelNumber=0 ok=0 dtRead="))
        << l;
    EXPECT_TRUE(Has(l, "PraxCamRes NULL resolution, returning false\n"));
    EXPECT_TRUE(Has(l, "PraxControl hCam=0 type=1 percent=50 ok1=0 ok2=0 dtRead=")) << l;
    EXPECT_TRUE(Journal().empty()) << "no camera call";
}

TEST_F(LensData, SwitchingToOutputOneWaitsThenConfiguresIt) {
    Store(trvtest::LensRecord{});
    Start();
    EXPECT_EQ(Control(1, 150.0), 1);
    // Base 20 x 1000 lowered to the camera's upper limit 10000; 150 % kept as 100 %, times
    // the scale 80 % gives 0.8.
    EXPECT_EQ(Writes(),
              (std::vector<std::string>{
                  "is_IO hCam=1 cmd=22 size=16 bytes=" +
                      trvtest::Hex(std::vector<double>{0, 0}.data(), 16) + " -> 0 out=0",
                  "is_IO hCam=1 cmd=23 size=16 bytes=" +
                      trvtest::Hex(std::vector<double>{0, 0}.data(), 16) + " -> 0 out=10000",
                  LevelLine(10000.0, 0.0),
                  ApplyLine(),
                  ConfigLine(1),
                  LevelLine(10000.0, 0.8),
                  ApplyLine(),
              }));
    const std::string l = host.TakeLog();
    EXPECT_TRUE(Has(l, "PraxControl hCam=1 type=1 percent=150 ok1=1 ok2=1 dtRead=")) << l;
    const size_t at = l.find("dtWrite=");
    ASSERT_NE(at, std::string::npos);
    // The tick count moves in steps of several milliseconds.
    EXPECT_GE(std::stoul(l.substr(at + 8)), 200u) << "the output switch waits 250 ms";

    // Output 1 is selected now: only the level and the apply.
    sim_journal_clear();
    EXPECT_EQ(Control(1, 25.0), 1);
    const std::vector<std::string> again = Writes();
    ASSERT_EQ(again.size(), 4u);
    EXPECT_EQ(again[2], LevelLine(10000.0, 0.2));
    EXPECT_EQ(again[3], ApplyLine());
    char output[64] = {};
    sim_query(0, "output", output, sizeof output);
    EXPECT_STREQ(output, "1 10000 0.2 3");
}

TEST_F(LensData, OutputZeroIsSelectedAtLoad) {
    Store(trvtest::LensRecord{});
    ASSERT_EQ(sim_configure(0, "io_limits", "8000 100000"), 0);
    Start();
    EXPECT_EQ(Control(0, 40.0), 1);
    const std::vector<std::string> w = Writes();
    ASSERT_EQ(w.size(), 4u) << "no switch, no configuration, no wait";
    EXPECT_EQ(w[2], LevelLine(8000.0, 0.2)) << "base 7000 raised to the lower limit 8000";
    EXPECT_EQ(w[3], ApplyLine());
}

TEST_F(LensData, OtherTypesSendNothing) {
    Store(trvtest::LensRecord{});
    Start();
    for (int32_t type : {-1, 2}) {
        sim_journal_clear();
        EXPECT_EQ(Control(type, 50.0), 1);
        EXPECT_TRUE(Writes().empty()) << type;
        EXPECT_EQ(Calls("is_CameraMemory").size(), 2u) << "the record is still read";
        EXPECT_TRUE(Has(host.TakeLog(), "PraxControl hCam=1 type=" + std::to_string(type) +
                                            " percent=50 ok1=1 ok2=0 dtRead="));
    }
}

} // namespace
