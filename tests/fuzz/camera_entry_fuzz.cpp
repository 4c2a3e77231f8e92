// A camera-list entry of any bytes decodes without a read past its 112 bytes, with texts of
// at most 16 characters and the availability rule kept.
#include "camera/camera_list_rules.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < trv::kCameraEntryBytes) {
        return 0;
    }
    // An exact copy: ASan sees any read past the entry.
    std::vector<uint8_t> entry(data, data + trv::kCameraEntryBytes);
    const trv::CameraEntry e = trv::DecodeCameraEntry(entry.data());
    if (e.serial.size() > 16 || e.info.size() > 16) {
        std::abort();
    }
    uint32_t inUse = 0, status = 0;
    std::memcpy(&inUse, data + 12, 4);
    std::memcpy(&status, data + 48, 4);
    if (e.available && (inUse != 0 || (!e.deviceId1000 && (status & 3u) != 0))) {
        std::abort();
    }
    if (e.serial.find(L'\0') != std::wstring::npos) {
        std::abort();
    }
    return 0;
}
