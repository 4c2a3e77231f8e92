// The simulated camera library answers as a camera would and journals every call.
#include "sim_control.h"
#include "ueye/ueye_api.h"

#include "sim_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using trvtest::Calls;
using trvtest::Journal;

int Add(const SimCamera& c) {
    return sim_add_camera(&c);
}

class Sim : public testing::Test {
  protected:
    void SetUp() override { sim_reset(); }
    void TearDown() override { sim_reset(); }
};

TEST_F(Sim, NoCameraUntilOneIsConfigured) {
    int32_t count = -1;
    EXPECT_EQ(is_CameraCount(&count), 0);
    EXPECT_EQ(count, 0);
    UeyeHandle h = 0;
    EXPECT_NE(is_CameraInit(&h, nullptr), 0);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(Journal(),
              (std::vector<std::string>{"is_CameraCount -> 0 count=0",
                                        "is_CameraInit id=0x0 hWnd=0000000000000000 -> 3 hCam=0"}));
}

TEST_F(Sim, ListsCamerasWithinTheBufferGiven) {
    Add(sim_camera("SERIAL0123456789", 1, 2, 640,
                   480)); // 16 characters: no terminator in the entry
    Add(sim_camera("B", 1001, 2, 640, 480));
    std::vector<unsigned char> list(4 + 112 * 1, 0xEE);
    const uint32_t asked = 1;
    std::memcpy(list.data(), &asked, 4);
    ASSERT_EQ(is_CameraList(list.data()), 0);
    UeyeCameraEntry e;
    std::memcpy(&e, list.data() + 4, sizeof e);
    EXPECT_EQ(std::string(e.szSerNo, 16), "SERIAL0123456789");
    EXPECT_EQ(e.nDeviceId, 1u);
}

TEST_F(Sim, OpensByDeviceIdOrFirstFreeAndRefusesClosedHandles) {
    Add(sim_camera("A", 5, 2, 640, 480));
    Add(sim_camera("B", 9, 2, 640, 480));
    UeyeHandle byId = 9 | ueye::kOpenByDeviceId;
    ASSERT_EQ(is_CameraInit(&byId, nullptr), 0);
    UeyeHandle first = 0;
    ASSERT_EQ(is_CameraInit(&first, nullptr), 0);
    EXPECT_NE(first, byId);
    UeyeSensorInfo info;
    EXPECT_EQ(is_SensorInfo(byId, &info), 0);
    EXPECT_EQ(info.nMaxWidth, 640u);
    EXPECT_EQ(is_CameraExit(byId), 0);
    EXPECT_NE(is_SensorInfo(byId, &info), 0) << "a closed handle is refused";
    EXPECT_EQ(Journal().back(), "is_SensorInfo hCam=" + std::to_string(byId) + " -> 1");
}

TEST_F(Sim, FaultsApplyToTheNextCallsOnly) {
    Add(sim_camera("A", 5, 2, 640, 480));
    sim_fail("is_CameraInit", 184, 2);
    UeyeHandle h = 0;
    EXPECT_EQ(is_CameraInit(&h, nullptr), 184);
    EXPECT_EQ(is_CameraInit(&h, nullptr), 184);
    EXPECT_EQ(is_CameraInit(&h, nullptr), 0);
    EXPECT_NE(h, 0u);
}

TEST_F(Sim, ImageMemoryIsRealMemory) {
    Add(sim_camera("A", 5, 2, 640, 480));
    UeyeHandle h = 0;
    ASSERT_EQ(is_CameraInit(&h, nullptr), 0);
    char* mem = nullptr;
    int32_t id = 0;
    ASSERT_EQ(is_ImageMemAlloc(h, 64, 32, 24, &mem, &id), 0);
    ASSERT_NE(mem, nullptr);
    std::memset(mem, 0x5A, 64 * 32 * 3); // the whole block is writable
    EXPECT_EQ(is_ImageMemActivate(h, mem, id), 0);
    EXPECT_EQ(is_ImageMemFree(h, mem, id), 0);
    EXPECT_NE(is_ImageMemAlloc(h, -1, 32, 24, &mem, &id), 0);
}

} // namespace
