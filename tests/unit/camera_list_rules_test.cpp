#include "camera/camera_list_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// An entry of exactly 112 bytes on the heap, so that ASan sees any read past it.
std::vector<uint8_t> Entry(uint32_t device, uint32_t inUse, uint32_t status, const char* serial,
                           const char* info) {
    std::vector<uint8_t> e(trv::kCameraEntryBytes, 0);
    const uint32_t cameraId = device + 100;
    std::memcpy(&e[0], &cameraId, 4);
    std::memcpy(&e[4], &device, 4);
    std::memcpy(&e[12], &inUse, 4);
    std::memcpy(&e[16], serial, std::min<size_t>(std::strlen(serial), 16));
    std::memcpy(&e[32], info, std::min<size_t>(std::strlen(info), 16));
    std::memcpy(&e[48], &status, 4);
    return e;
}

TEST(CameraListRules, AvailabilityTextsAndCounts) {
    struct Case {
        uint32_t device, inUse, status;
        bool available, flag4;
    };
    for (const Case& c : {Case{5, 0, 0, true, false}, Case{5, 1, 0, false, false},
                          Case{5, 0, 1, false, false}, Case{5, 0, 2, false, false},
                          Case{999, 0, 0x10, true, true}, Case{1000, 0, 0x3, true, false},
                          Case{1000, 1, 0, false, false}, Case{5, 0, 0xFFFFFFFC, true, true}}) {
        const std::vector<uint8_t> e = Entry(c.device, c.inUse, c.status, "S", "I");
        const trv::CameraEntry d = trv::DecodeCameraEntry(e.data());
        EXPECT_EQ(d.available, c.available) << c.device << " " << c.inUse << " " << c.status;
        EXPECT_EQ(d.statusFlag4, c.flag4) << c.status;
        EXPECT_EQ(d.deviceId1000, c.device >= 1000);
        EXPECT_EQ(d.deviceId * 1000 + d.cameraId, c.device * 1001 + 100);
    }
    // The serial runs into the info text and the info text into the status word: neither is
    // read past its own 16 bytes; after a terminator nothing counts.
    std::vector<uint8_t> e = Entry(5, 0, 0x7F7F7F7F, "0123456789ABCDEF", "INFO456789abcdef");
    EXPECT_EQ(trv::DecodeCameraEntry(e.data()).serial, L"0123456789ABCDEF");
    EXPECT_EQ(trv::DecodeCameraEntry(e.data()).info, L"INFO456789abcdef");
    e = Entry(5, 0, 0, "AB", "");
    e[19] = 'Z';
    EXPECT_EQ(trv::DecodeCameraEntry(e.data()).serial, L"AB");
}

} // namespace
