// Lens data stored in the camera and the two outputs, through the real export.
#include "entry/trv_params.h"
#include "host_settings.h"
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

using trvtest::Calls;
using trvtest::Journal;

void OnFrame(unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {}

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

std::string Hex(const void* data, size_t size) {
    std::string out;
    char two[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(two, sizeof two, "%02x", static_cast<const unsigned char*>(data)[i]);
        out += two;
    }
    return out;
}

// The journal line of an output level: base and level as the camera receives them.
std::string LevelLine(double base, double level, int result = 0) {
    const double v[2] = {base, level};
    return "is_IO hCam=1 cmd=26 size=16 bytes=" + Hex(v, 16) + " -> " + std::to_string(result);
}

const std::string kApply = "is_IO hCam=1 cmd=28 size=4 bytes=02000000 -> 0";

std::string ConfigLine(uint32_t output) {
    uint32_t words[16] = {1, 0, 2, output};
    return "is_IO hCam=1 cmd=30 size=64 bytes=" + Hex(words, 64) + " -> 0";
}

struct Record {
    uint8_t major = 1, minor = 2, range = 3;
    uint32_t model = 0x0A0B0C0D;
    uint8_t scale1 = 80, base1 = 20, scale0 = 50, base0 = 7;
    double calibration = 0.0055;
    uint8_t units = 2;
    size_t length = 41;

    std::string Bytes() const {
        std::vector<uint8_t> d(41, 0);
        d[0] = major;
        d[1] = minor;
        d[2] = range;
        std::memcpy(&d[3], &model, 4);
        d[16] = scale1;
        d[17] = base1;
        d[19] = scale0;
        d[20] = base0;
        std::memcpy(&d[32], &calibration, 8);
        d[40] = units;
        d.resize(length, 0);
        return Hex(d.data(), d.size());
    }
};

class LensData : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        SimCamera c = sim_camera("L1", 1, 2, 64, 48);
        sim_add_camera(&c);
        ASSERT_EQ(sim_configure(0, "io_limits", "0 10000"), 0);
    }
    void Store(const Record& r) {
        ASSERT_EQ(sim_configure(0, "user_memory", r.Bytes().c_str()), 0);
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
    int32_t CamRes(TrvPraxCamResParams& block) {
        return host.Cmd(_TRV_DSHOW_CMD_PRAX_CAM_RES, &block);
    }
    int32_t Control(int32_t type, double percent) {
        TrvPraxControlParams p = {type, percent};
        return host.Cmd(_TRV_DSHOW_CMD_PRAX_CONTROL, &p);
    }
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
        Record r;
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

TEST_F(LensData, NoUsableRecordLeavesTheBlockAlone) {
    struct Case {
        const char* name;
        Record record;
        const char* key; // a simulator setting or fault for this case
        const char* value;
        double hostValue;
        bool nullLine;
    };
    Record zeroCalibration;
    zeroCalibration.calibration = 0.0;
    Record version2;
    version2.major = 2;
    Record shortData;
    shortData.length = 40;
    const Case cases[] = {
        {"calibration 0", zeroCalibration, nullptr, nullptr, 7.0, true},
        {"dataset version 2", version2, nullptr, nullptr, 7.0, false},
        {"dataset version 2, host left 0", version2, nullptr, nullptr, 0.0, true},
        {"40 bytes stored", shortData, nullptr, nullptr, 7.0, false},
        {"size larger than the data", Record{}, "user_memory_size", "64", 7.0, false},
        {"size of all bits", Record{}, "user_memory_size", "4294967295", 7.0, false},
        {"size query fails", Record{}, "fail", "is_CameraMemory:6", 7.0, false},
        {"read fails", Record{}, "fail", "is_CameraMemory:4", 7.0, false},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Store(c.record);
        ASSERT_EQ(sim_configure(0, "user_memory_size", "-1"), 0);
        if (c.key != nullptr && std::string(c.key) == "fail") {
            sim_fail(c.value, 5, 1);
        } else if (c.key != nullptr) {
            ASSERT_EQ(sim_configure(0, c.key, c.value), 0);
        }
        TrvPraxCamResParams block = {c.hostValue, c.hostValue};
        const bool resolved = c.name == std::string("calibration 0");
        EXPECT_EQ(CamRes(block), 0);
        EXPECT_EQ(block.dResX, resolved ? 0.0 : c.hostValue);
        EXPECT_EQ(block.dResY, resolved ? 0.0 : c.hostValue);
        const std::string l = host.TakeLog();
        if (!resolved) {
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
    Store(Record{});
    Start();
    EXPECT_EQ(Control(1, 150.0), 1);
    // Base 20 x 1000 lowered to the camera's upper limit 10000; 150 % kept as 100 %, times
    // the scale 80 % gives 0.8.
    EXPECT_EQ(Writes(),
              (std::vector<std::string>{
                  "is_IO hCam=1 cmd=22 size=16 bytes=" + Hex(std::vector<double>{0, 0}.data(), 16) +
                      " -> 0 out=0",
                  "is_IO hCam=1 cmd=23 size=16 bytes=" + Hex(std::vector<double>{0, 0}.data(), 16) +
                      " -> 0 out=10000",
                  LevelLine(10000.0, 0.0),
                  kApply,
                  ConfigLine(1),
                  LevelLine(10000.0, 0.8),
                  kApply,
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
    EXPECT_EQ(again[3], kApply);
    char output[64] = {};
    sim_query(0, "output", output, sizeof output);
    EXPECT_STREQ(output, "1 10000 0.2 3");
}

TEST_F(LensData, OutputZeroIsSelectedAtLoad) {
    Store(Record{});
    ASSERT_EQ(sim_configure(0, "io_limits", "8000 100000"), 0);
    Start();
    EXPECT_EQ(Control(0, 40.0), 1);
    const std::vector<std::string> w = Writes();
    ASSERT_EQ(w.size(), 4u) << "no switch, no configuration, no wait";
    EXPECT_EQ(w[2], LevelLine(8000.0, 0.2)) << "base 7000 raised to the lower limit 8000";
    EXPECT_EQ(w[3], kApply);
}

TEST_F(LensData, OtherTypesSendNothing) {
    Store(Record{});
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

TEST_F(LensData, StatusComesFromTheLastApplyAndLimitsOnlyFromAnswers) {
    Store(Record{});
    Start();
    // Output 0 first: no switch. The upper limit is not known, so base 7000 is sent as it is.
    sim_fail("is_IO:23", 5, 1);
    EXPECT_EQ(Control(0, 100.0), 1);
    EXPECT_EQ(Writes()[2], LevelLine(7000.0, 0.5));
    EXPECT_TRUE(Has(host.TakeLog(), " ok1=1 ok2=1 "));
    // A refused apply makes the write fail.
    sim_journal_clear();
    sim_fail("is_IO:28", 5, 1);
    EXPECT_EQ(Control(0, 100.0), 1);
    EXPECT_TRUE(Has(host.TakeLog(), " ok1=1 ok2=0 "));
    // Output 1 with the upper limit unknown: base 20000 is refused by the camera, but only the
    // last apply decides.
    sim_journal_clear();
    sim_fail("is_IO:23", 5, 1);
    EXPECT_EQ(Control(1, 100.0), 1);
    EXPECT_EQ(Writes()[5], LevelLine(20000.0, 0.8, 125));
    EXPECT_TRUE(Has(host.TakeLog(), " ok1=1 ok2=1 "));
}

} // namespace
