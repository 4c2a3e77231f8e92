// Finding, opening and closing cameras.
#include "sim_call.h"

#include <cstring>

using sim::Format;

namespace {

sim::Camera* NoCamera(sim::State&) {
    return nullptr;
}

// A list text as the journal prints it: at most 16 bytes, '-' when empty, and only characters
// that keep the entry one word of comma-separated fields.
std::string ListText(const char* field) {
    std::string out;
    for (size_t i = 0; i < 16 && field[i] != 0; ++i) {
        const char ch = field[i];
        out += ch > ' ' && ch < 127 && ch != ',' && ch != '=' ? ch : '?';
    }
    return out.empty() ? "-" : out;
}

// The camera the init call opens for `id`: 0 the first free camera, with 0x8000 a device id,
// else a camera id. The retry flag 0x10000 changes nothing here.
sim::Camera* Chosen(sim::State& s, uint32_t id) {
    const uint32_t number = id & 0x7FFFu;
    const bool byDevice = (id & ueye::kOpenByDeviceId) != 0;
    for (sim::Camera& c : s.cameras) {
        const bool match = byDevice      ? c.config.deviceId == number
                           : number != 0 ? c.config.cameraId == number
                                         : c.handle == 0 && c.config.inUse == 0;
        if (match) {
            return &c;
        }
    }
    return nullptr;
}

} // namespace

UEYE_API UeyeStatus is_CameraCount(int32_t* pnNumCams) {
    return sim::Call("is_CameraCount", -1, "is_CameraCount", sim::OutsOf(-1, pnNumCams, 4),
                     NoCamera, [=](sim::State& s, sim::Camera*, std::string& outs) {
                         *pnNumCams = static_cast<int32_t>(s.cameras.size()) + s.countExtra;
                         outs = Format("count=%d", *pnNumCams);
                         return 0;
                     });
}

UEYE_API UeyeStatus is_CameraList(void* pucl) {
    uint32_t asked = 0;
    std::memcpy(&asked, pucl, 4);
    return sim::Call(
        "is_CameraList", -1, Format("is_CameraList count=%u", asked),
        sim::OutsOf(-1, pucl, static_cast<uint32_t>(4 + uint64_t{sizeof(UeyeCameraEntry)} * asked)),
        NoCamera, [=](sim::State& s, sim::Camera*, std::string& outs) {
            // Never more entries than the buffer was made for.
            const uint32_t written =
                asked < s.cameras.size() ? asked : static_cast<uint32_t>(s.cameras.size());
            auto* entries = static_cast<char*>(pucl) + 4;
            const uint32_t count = s.listCount >= 0 ? static_cast<uint32_t>(s.listCount) : written;
            std::memcpy(pucl, &count, 4);
            outs = Format("count=%u", count);
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
                outs += Format(" entry%u=%u,%u,%u,%u,", i, e.nCameraId, e.nDeviceId, e.nInUse,
                               e.nStatus) +
                        ListText(c.serial) + "," + ListText(c.info);
            }
            return 0;
        });
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
    const uint32_t id = *phCam;
    return sim::Call(
        "is_CameraInit", -1, Format("is_CameraInit id=0x%x hWnd=%p", id, static_cast<void*>(hWnd)),
        sim::OutsOf(-1, phCam, 4), [id](sim::State& st) { return Chosen(st, id); },
        [=](sim::State& st, sim::Camera* chosen, std::string& outs) {
            if (chosen == nullptr || chosen->handle != 0 || chosen->config.inUse != 0) {
                return sim::kCantOpenDevice;
            }
            chosen->handle = st.nextHandle++;
            *phCam = chosen->handle;
            outs = Format("hCam=%u", *phCam);
            return 0;
        });
}

UEYE_API UeyeStatus is_InitRetryQuery(UeyeHandle hCam, uint32_t nCommand, int32_t* pnValue) {
    return sim::Call("is_InitRetryQuery", nCommand,
                     Format("is_InitRetryQuery hCam=%u cmd=%u", hCam, nCommand),
                     sim::OutsOf(nCommand, pnValue, 4), NoCamera,
                     [=](sim::State&, sim::Camera*, std::string& outs) {
                         outs = Format("value=%d", pnValue != nullptr ? *pnValue : 0);
                         return 0;
                     });
}

UEYE_API UeyeStatus is_CameraExit(UeyeHandle hCam) {
    return sim::OnCamera("is_CameraExit", -1, hCam, "", sim::Outs{},
                         [](sim::Camera& c, std::string&) {
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
    return sim::OnCamera("is_SensorInfo", -1, hCam, "", sim::OutsOf(-1, pInfo, 44),
                         [pInfo](sim::Camera& c, std::string& outs) {
                             // A library writes a block of its own length: the fields, then
                             // filler up to it.
                             auto* bytes = reinterpret_cast<uint8_t*>(pInfo);
                             std::memset(bytes, 0, 44);
                             std::memset(bytes + 44, 0xA5,
                                         c.sensorInfoBytes > 44 ? c.sensorInfoBytes - 44 : 0);
                             pInfo->nColorKind = c.config.colorKind;
                             pInfo->nMaxWidth = c.config.maxWidth;
                             pInfo->nMaxHeight = c.config.maxHeight;
                             outs = Format("color=%u width=%u height=%u", c.config.colorKind,
                                           c.config.maxWidth, c.config.maxHeight);
                             return 0;
                         });
}
