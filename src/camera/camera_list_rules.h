// One entry of the camera list as the library writes it, decoded. Pure code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace trv {

constexpr size_t kCameraEntryBytes = 112;

struct CameraEntry {
    bool available;
    bool deviceId1000;
    uint32_t cameraId;
    uint32_t deviceId;
    std::wstring info;
    std::wstring serial;
    bool statusFlag4;
};

// Reads exactly kCameraEntryBytes bytes at `entry`. A text that fills its 16 bytes without a
// terminator is read to 16 bytes, never past its field.
CameraEntry DecodeCameraEntry(const uint8_t* entry);

// Entries to read from a list buffer made for `asked` entries whose count word says `listed`.
uint32_t EntriesToRead(uint32_t asked, uint32_t listed);

} // namespace trv
