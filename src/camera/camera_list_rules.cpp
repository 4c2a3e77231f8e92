#include "camera_list_rules.h"

#include <cstdlib>
#include <cstring>

namespace trv {

namespace {

constexpr size_t kTextChars = 100;

uint32_t U32At(const uint8_t* entry, size_t offset) {
    uint32_t v = 0;
    std::memcpy(&v, entry + offset, 4);
    return v;
}

// The 16-byte narrow text at `offset`, read up to its terminator, widened by the C library.
std::wstring TextAt(const uint8_t* entry, size_t offset) {
    char narrow[17] = {};
    std::memcpy(narrow, entry + offset, 16);
    wchar_t wide[kTextChars] = {};
    const size_t n = std::mbstowcs(wide, narrow, kTextChars - 1);
    return n == static_cast<size_t>(-1) ? std::wstring() : std::wstring(wide, n);
}

} // namespace

CameraEntry DecodeCameraEntry(const uint8_t* entry) {
    CameraEntry e;
    e.cameraId = U32At(entry, 0);
    e.deviceId = U32At(entry, 4);
    const uint32_t inUse = U32At(entry, 12);
    const uint32_t status = U32At(entry, 48);
    e.deviceId1000 = e.deviceId >= 1000;
    // Below device id 1000 the status bits 0 and 1 also make a camera unavailable.
    e.available = e.deviceId1000 ? inUse == 0 : inUse == 0 && (status & 0x3u) == 0;
    e.serial = TextAt(entry, 16);
    e.info = TextAt(entry, 32);
    e.statusFlag4 = (status & 0x10u) != 0;
    return e;
}

uint32_t EntriesToRead(uint32_t asked, uint32_t listed) {
    return listed < asked ? listed : asked;
}

} // namespace trv
