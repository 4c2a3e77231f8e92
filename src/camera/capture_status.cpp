#include "capture_status.h"

#include "infra/trv_log.h"

#include <cstring>

namespace {

struct StatusRow {
    const char* text;
    int code;
    bool verboseOnly;
};

constexpr StatusRow kRows[] = {
    {"IS_CAP_STATUS_API_NO_DEST_MEM: ", 0xA2, false},
    {"IS_CAP_STATUS_API_CONVERSION_FAILED: ", 0xA3, false},
    {"IS_CAP_STATUS_API_IMAGE_LOCKED: ", 0xA5, false},
    {"IS_CAP_STATUS_DRV_OUT_OF_BUFFERS: ", 0xB2, false},
    {"IS_CAP_STATUS_DRV_DEVICE_NOT_READY: ", 0xB4, false},
    {"IS_CAP_STATUS_USB_TRANSFER_FAILED: ", 0xC7, true},
    {"IS_CAP_STATUS_DEV_TIMEOUT: ", 0xD6, false},
    {"IS_CAP_STATUS_ETH_BUFFER_OVERRUN: ", 0xE4, false},
    {"IS_CAP_STATUS_ETH_MISSED_IMAGES: ", 0xE5, false},
};

void LogCount(const char* text, uint32_t value) {
    gLog.Write(text);
    LogUInt(value);
    gLog.Write("\n");
}

} // namespace

void IsTransferFailed(MyCam& cam, bool verbose) {
    UeyeCaptureStatus info;
    std::memset(&info, 0, sizeof info);
    const int32_t result =
        is_CaptureStatus(cam.m_hCam, ueye::kCaptureStatusGet, &info, sizeof info);
    if (result != 0) {
        gLog.Write("IsTransferFailed ERROR: is_CaptureStatus=");
        LogInt(result);
        gLog.Write("\n");
    } else {
        if (verbose) {
            LogCount("IS_CAP_STATUS_COUNT: ", info.nTotal);
        }
        if (info.nTotal != 0) {
            for (const StatusRow& row : kRows) {
                const uint32_t n = info.anCount[row.code];
                if (n != 0 && (verbose || !row.verboseOnly)) {
                    LogCount(row.text, n);
                }
            }
        }
    }
    is_CaptureStatus(cam.m_hCam, ueye::kCaptureStatusReset, nullptr, 0);
}
