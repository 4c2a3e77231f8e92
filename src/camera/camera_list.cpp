#include "camera_list.h"

#include "infra/trv_log.h"
#include "ueye/ueye_api.h"

#include <cstdlib>
#include <cstring>
#include <vector>

std::vector<CamListEntry> gCamList;

namespace {

constexpr size_t kEntryBytes = sizeof(UeyeCameraEntry);
constexpr size_t kTextChars = 100;
// More cameras than this on one machine means a broken answer, not a list to allocate.
constexpr int32_t kMostCameras = 4096;

// The 16-byte text of an entry, read up to its terminator but never past the field.
std::wstring FieldText(const char* field) {
    char narrow[17] = {};
    std::memcpy(narrow, field, 16);
    wchar_t wide[kTextChars] = {};
    const size_t n = std::mbstowcs(wide, narrow, kTextChars - 1);
    return n == static_cast<size_t>(-1) ? std::wstring() : std::wstring(wide, n);
}

} // namespace

void EnumerateCameras() {
    if (!gCamList.empty()) {
        return;
    }
    int32_t count = 0;
    if (is_CameraCount(&count) != 0) {
        gLog.Write("ERROR: Could not receive camera count\n");
        return;
    }
    if (count < 0) {
        count = 0; // a broken answer: no camera
    }
    if (count > kMostCameras) {
        count = kMostCameras;
    }
    std::vector<unsigned char> buffer(4 + kEntryBytes * static_cast<size_t>(count), 0);
    const uint32_t asked = static_cast<uint32_t>(count);
    std::memcpy(buffer.data(), &asked, 4);
    if (is_CameraList(buffer.data()) != 0) {
        gLog.Write("ERROR: Could not receive camera list\n");
        return;
    }
    // The library may report fewer entries than were asked for, never more than the buffer.
    uint32_t listed = 0;
    std::memcpy(&listed, buffer.data(), 4);
    const uint32_t n = listed < asked ? listed : asked;
    for (uint32_t i = 0; i < n; ++i) {
        UeyeCameraEntry e;
        std::memcpy(&e, buffer.data() + 4 + kEntryBytes * i, kEntryBytes);
        CamListEntry entry;
        entry.bDeviceId1000 = e.nDeviceId >= 1000 ? 1 : 0;
        entry.bAvailable =
            entry.bDeviceId1000 ? e.nInUse == 0 : e.nInUse == 0 && (e.nStatus & 0x3u) == 0;
        entry.nCameraId = e.nCameraId;
        entry.nDeviceId = e.nDeviceId;
        entry.strInfo = FieldText(e.szInfo);
        entry.strSerNo = FieldText(e.szSerNo);
        entry.bStatusFlag4 = (e.nStatus & 0x10u) != 0;
        gCamList.push_back(entry);
    }
}
