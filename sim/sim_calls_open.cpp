// Finding, opening and closing cameras.
#include "sim_call.h"

#include <cstring>

using sim::Format;

UEYE_API UeyeStatus is_CameraCount(int32_t* pnNumCams) {
    sim::State& s = sim::Get();
    std::lock_guard<std::mutex> g(s.lock);
    int32_t result = 0;
    if (!sim::TakeFault(s, nullptr, "is_CameraCount", -1, result)) {
        *pnNumCams = static_cast<int32_t>(s.cameras.size()) + s.countExtra;
    }
    sim::Journal(s, Format("is_CameraCount -> %d count=%d", result, *pnNumCams));
    return result;
}

UEYE_API UeyeStatus is_CameraList(void* pucl) {
    sim::State& s = sim::Get();
    std::lock_guard<std::mutex> g(s.lock);
    uint32_t asked = 0;
    std::memcpy(&asked, pucl, 4);
    int32_t result = 0;
    uint32_t written = 0;
    if (!sim::TakeFault(s, nullptr, "is_CameraList", -1, result)) {
        // Never more entries than the buffer was made for.
        written = asked < s.cameras.size() ? asked : static_cast<uint32_t>(s.cameras.size());
        auto* entries = static_cast<char*>(pucl) + 4;
        for (uint32_t i = 0; i < written; ++i) {
            const sim::Camera& cam = s.cameras[i];
            const SimCamera& c = cam.config;
            UeyeCameraEntry e = {};
            e.nCameraId = c.cameraId;
            e.nDeviceId = c.deviceId;
            e.nInUse = c.inUse != 0 || cam.handle != 0 ? 1 : 0;
            std::memcpy(e.szSerNo, c.serial, sizeof e.szSerNo);
            std::memcpy(e.szInfo, c.info, sizeof e.szInfo);
            e.nStatus = c.status;
            std::memcpy(entries + sizeof e * i, &e, sizeof e);
        }
        const uint32_t count = s.listCount >= 0 ? static_cast<uint32_t>(s.listCount) : written;
        std::memcpy(pucl, &count, 4);
    }
    sim::Journal(s, Format("is_CameraList count=%u -> %d written=%u", asked, result, written));
    return result;
}

UEYE_API UeyeStatus is_CameraInit(UeyeHandle* phCam, HWND hWnd) {
    sim::State& s = sim::Get();
    DWORD delay = 0;
    {
        std::lock_guard<std::mutex> g(s.lock);
        delay = s.initDelayMs;
    }
    if (delay > 0) {
        Sleep(delay); // a camera that is slow to open, outside the lock
    }
    std::lock_guard<std::mutex> g(s.lock);
    const uint32_t id = *phCam;
    int32_t result = 0;
    if (!sim::TakeFault(s, nullptr, "is_CameraInit", -1, result)) {
        // 0: the first free camera; with 0x8000 a device id, else a camera id. The retry flag
        // 0x10000 changes nothing here.
        const uint32_t number = id & 0x7FFFu;
        const bool byDevice = (id & ueye::kOpenByDeviceId) != 0;
        sim::Camera* chosen = nullptr;
        for (sim::Camera& c : s.cameras) {
            const bool match = byDevice      ? c.config.deviceId == number
                               : number != 0 ? c.config.cameraId == number
                                             : c.handle == 0 && c.config.inUse == 0;
            if (match) {
                chosen = &c;
                break;
            }
        }
        if (chosen == nullptr || chosen->handle != 0 || chosen->config.inUse != 0) {
            result = sim::kCantOpenDevice;
        } else if (!sim::TakeFault(s, chosen, "is_CameraInit", -1, result)) {
            chosen->handle = s.nextHandle++;
            *phCam = chosen->handle;
        }
    }
    sim::Journal(s, Format("is_CameraInit id=0x%x hWnd=%p -> %d hCam=%u", id,
                           static_cast<void*>(hWnd), result, *phCam));
    return result;
}

UEYE_API UeyeStatus is_InitRetryQuery(UeyeHandle hCam, uint32_t nCommand, int32_t* pnValue) {
    sim::State& s = sim::Get();
    std::lock_guard<std::mutex> g(s.lock);
    sim::Journal(s, Format("is_InitRetryQuery hCam=%u cmd=%u value=%d -> 0", hCam, nCommand,
                           pnValue != nullptr ? *pnValue : 0));
    return 0;
}

UEYE_API UeyeStatus is_CameraExit(UeyeHandle hCam) {
    return sim::OnCamera("is_CameraExit", -1, hCam, "", [](sim::Camera& c, std::string&) {
        // Memory the caller did not free goes with the camera.
        sim::State& s = sim::Get();
        for (auto it = s.memory.begin(); it != s.memory.end();) {
            if (it->second.owner == c.handle) {
                sim::DeleteBlock(s, it->first);
                ++s.stats.freedByExit;
                it = s.memory.erase(it);
            } else {
                ++it;
            }
        }
        c.handle = 0;
        c.live = false;
        c.eventWindows.clear();
        c.activeMemory = nullptr;
        return 0;
    });
}

UEYE_API UeyeStatus is_SensorInfo(UeyeHandle hCam, UeyeSensorInfo* pInfo) {
    return sim::OnCamera("is_SensorInfo", -1, hCam, "", [pInfo](sim::Camera& c, std::string& outs) {
        // A library writes a block of its own length: the fields, then filler up to it.
        auto* bytes = reinterpret_cast<uint8_t*>(pInfo);
        std::memset(bytes, 0, 44);
        std::memset(bytes + 44, 0xA5, c.sensorInfoBytes > 44 ? c.sensorInfoBytes - 44 : 0);
        pInfo->nColorKind = c.config.colorKind;
        pInfo->nMaxWidth = c.config.maxWidth;
        pInfo->nMaxHeight = c.config.maxHeight;
        outs =
            Format("color=%u max=%ux%u", c.config.colorKind, c.config.maxWidth, c.config.maxHeight);
        return 0;
    });
}
