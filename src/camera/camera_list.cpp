#include "camera_list.h"

#include "camera_list_rules.h"
#include "infra/kept_global.h"
#include "infra/trv_log.h"
#include "ueye/ueye_api.h"

#include <cstring>
#include <vector>

namespace {

KeptGlobal<std::vector<CamListEntry>> gEntries;

// More cameras than this on one machine means a broken answer, not a list to allocate.
constexpr int32_t kMostCameras = 4096;
static_assert(sizeof(UeyeCameraEntry) == trv::kCameraEntryBytes);

} // namespace

std::vector<CamListEntry>& gCamList = gEntries.Get();

void FreeCameraList() {
    gEntries.Destroy();
}

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
    std::vector<unsigned char> buffer(4 + trv::kCameraEntryBytes * static_cast<size_t>(count), 0);
    const uint32_t asked = static_cast<uint32_t>(count);
    std::memcpy(buffer.data(), &asked, 4);
    if (is_CameraList(buffer.data()) != 0) {
        gLog.Write("ERROR: Could not receive camera list\n");
        return;
    }
    // The library may report fewer entries than were asked for, never more than the buffer.
    uint32_t listed = 0;
    std::memcpy(&listed, buffer.data(), 4);
    const uint32_t n = trv::EntriesToRead(asked, listed);
    for (uint32_t i = 0; i < n; ++i) {
        const trv::CameraEntry e =
            trv::DecodeCameraEntry(buffer.data() + 4 + trv::kCameraEntryBytes * i);
        CamListEntry entry;
        entry.bAvailable = e.available;
        entry.bDeviceId1000 = e.deviceId1000 ? 1 : 0;
        entry.nCameraId = e.cameraId;
        entry.nDeviceId = e.deviceId;
        entry.strInfo = e.info;
        entry.strSerNo = e.serial;
        entry.bStatusFlag4 = e.statusFlag4;
        gCamList.push_back(entry);
    }
}
