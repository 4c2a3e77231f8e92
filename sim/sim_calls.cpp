// The camera-library calls, answered from the simulator's state and journaled.
#include "sim_state.h"
#include "ueye/ueye_api.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr UeyeStatus kNoCamera = 3; // handle not open, or no such camera
constexpr UeyeStatus kBadParameter = 125;

void Journal(sim::State& s, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    s.journal.emplace_back(line);
}

// Common frame of a call on an open camera: fault first, then the handle check.
template <class Body>
UeyeStatus OnCamera(const char* call, UeyeHandle hCam, const char* args, Body body) {
    sim::State& s = sim::Get();
    std::lock_guard<std::mutex> g(s.lock);
    int32_t result = 0;
    if (!sim::TakeFault(s, call, result)) {
        sim::Camera* cam = sim::Open(s, hCam);
        result = cam == nullptr ? kNoCamera : body(*cam);
    }
    Journal(s, "%s hCam=%u%s%s -> %d", call, hCam, args[0] ? " " : "", args, result);
    return result;
}

std::string Args(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

} // namespace

UEYE_API UeyeStatus is_CameraCount(int32_t* pnNumCams) {
    sim::State& s = sim::Get();
    std::lock_guard<std::mutex> g(s.lock);
    int32_t result = 0;
    if (!sim::TakeFault(s, "is_CameraCount", result)) {
        *pnNumCams = static_cast<int32_t>(s.cameras.size());
    }
    Journal(s, "is_CameraCount -> %d count=%d", result, *pnNumCams);
    return result;
}

UEYE_API UeyeStatus is_CameraList(void* pucl) {
    sim::State& s = sim::Get();
    std::lock_guard<std::mutex> g(s.lock);
    uint32_t asked = 0;
    std::memcpy(&asked, pucl, 4);
    int32_t result = 0;
    if (!sim::TakeFault(s, "is_CameraList", result)) {
        const uint32_t n =
            asked < s.cameras.size() ? asked : static_cast<uint32_t>(s.cameras.size());
        auto* entries = reinterpret_cast<UeyeCameraEntry*>(static_cast<char*>(pucl) + 4);
        for (uint32_t i = 0; i < n; ++i) {
            const SimCamera& c = s.cameras[i].config;
            UeyeCameraEntry e = {};
            e.nCameraId = c.cameraId;
            e.nDeviceId = c.deviceId;
            e.nInUse = c.inUse || s.cameras[i].handle != 0;
            std::memcpy(e.szSerNo, c.serial, sizeof e.szSerNo);
            std::memcpy(e.szInfo, c.info, sizeof e.szInfo);
            e.nStatus = c.status;
            std::memcpy(&entries[i], &e, sizeof e);
        }
        std::memcpy(pucl, &n, 4);
    }
    Journal(s, "is_CameraList count=%u -> %d", asked, result);
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
    if (!sim::TakeFault(s, "is_CameraInit", result)) {
        sim::Camera* chosen = nullptr;
        for (sim::Camera& c : s.cameras) {
            const bool free = c.handle == 0 && c.config.inUse == 0;
            if ((id & ueye::kOpenByDeviceId) != 0) {
                if (c.config.deviceId == (id & 0x7FFFu) && c.handle == 0) {
                    chosen = &c;
                    break;
                }
            } else if (free) {
                chosen = &c;
                break;
            }
        }
        if (chosen == nullptr) {
            result = kNoCamera;
        } else {
            chosen->handle = s.nextHandle++;
            *phCam = chosen->handle;
        }
    }
    Journal(s, "is_CameraInit id=0x%x hWnd=%p -> %d hCam=%u", id, static_cast<void*>(hWnd), result,
            *phCam);
    return result;
}

UEYE_API UeyeStatus is_InitRetryQuery(UeyeHandle hCam, uint32_t nCommand, int32_t* pnValue) {
    sim::State& s = sim::Get();
    std::lock_guard<std::mutex> g(s.lock);
    Journal(s, "is_InitRetryQuery hCam=%u cmd=%u value=%d -> 0", hCam, nCommand, *pnValue);
    return 0;
}

UEYE_API UeyeStatus is_CameraExit(UeyeHandle hCam) {
    return OnCamera("is_CameraExit", hCam, "", [](sim::Camera& c) {
        c.handle = 0;
        c.live = false;
        c.frameWindow = nullptr;
        c.activeMemory = nullptr;
        return 0;
    });
}

UEYE_API UeyeStatus is_SensorInfo(UeyeHandle hCam, UeyeSensorInfo* pInfo) {
    return OnCamera("is_SensorInfo", hCam, "", [pInfo](sim::Camera& c) {
        std::memset(pInfo, 0, sizeof *pInfo);
        pInfo->nColorKind = c.config.colorKind;
        pInfo->nMaxWidth = c.config.maxWidth;
        pInfo->nMaxHeight = c.config.maxHeight;
        return 0;
    });
}

UEYE_API UeyeStatus is_DisplayMode(UeyeHandle hCam, int32_t nMode) {
    return OnCamera("is_DisplayMode", hCam, Args("mode=%d", nMode).c_str(),
                    [](sim::Camera&) { return 0; });
}

UEYE_API UeyeStatus is_ColorMode(UeyeHandle hCam, int32_t nMode) {
    return OnCamera("is_ColorMode", hCam, Args("mode=%d", nMode).c_str(),
                    [](sim::Camera&) { return 0; });
}

UEYE_API UeyeStatus is_ImageMemAlloc(UeyeHandle hCam, int32_t nWidth, int32_t nHeight,
                                     int32_t nBits, char** ppcMem, int32_t* pnMemId) {
    return OnCamera("is_ImageMemAlloc", hCam,
                    Args("w=%d h=%d bits=%d", nWidth, nHeight, nBits).c_str(), [=](sim::Camera&) {
                        if (nWidth <= 0 || nHeight <= 0 || (nBits != 8 && nBits != 24)) {
                            return kBadParameter;
                        }
                        char* block = new char[static_cast<size_t>(nWidth) * nHeight * (nBits / 8)];
                        sim::Get().memory[block] = {nWidth, nHeight, nBits};
                        static int32_t nextId = 1;
                        *ppcMem = block;
                        *pnMemId = nextId++;
                        return 0;
                    });
}

UEYE_API UeyeStatus is_ImageMemActivate(UeyeHandle hCam, char* pcMem, int32_t nMemId) {
    return OnCamera("is_ImageMemActivate", hCam, Args("id=%d", nMemId).c_str(),
                    [pcMem](sim::Camera& c) {
                        if (sim::Get().memory.count(pcMem) == 0) {
                            return kBadParameter;
                        }
                        c.activeMemory = pcMem;
                        return 0;
                    });
}

UEYE_API UeyeStatus is_ImageMemFree(UeyeHandle hCam, char* pcMem, int32_t nMemId) {
    return OnCamera("is_ImageMemFree", hCam, Args("id=%d", nMemId).c_str(),
                    [pcMem](sim::Camera& c) {
                        auto& memory = sim::Get().memory;
                        if (memory.erase(pcMem) == 0) {
                            return kBadParameter; // unknown or already freed
                        }
                        if (c.activeMemory == pcMem) {
                            c.activeMemory = nullptr;
                        }
                        delete[] pcMem;
                        return 0;
                    });
}

UEYE_API UeyeStatus is_EventMessage(UeyeHandle hCam, int32_t nEvent, HWND hWnd) {
    return OnCamera("is_EventMessage", hCam,
                    Args("event=%d hWnd=%s", nEvent, hWnd ? "window" : "null").c_str(),
                    [=](sim::Camera& c) {
                        if (nEvent == 0) {
                            c.frameWindow = hWnd;
                        }
                        return 0;
                    });
}

UEYE_API UeyeStatus is_StopLiveVideo(UeyeHandle hCam, int32_t nWait) {
    return OnCamera("is_StopLiveVideo", hCam, Args("wait=%d", nWait).c_str(), [](sim::Camera& c) {
        c.live = false;
        return 0;
    });
}

UEYE_API UeyeStatus is_CaptureVideo(UeyeHandle hCam, int32_t nWait) {
    return OnCamera("is_CaptureVideo", hCam, Args("wait=%d", nWait).c_str(), [=](sim::Camera& c) {
        if (nWait == ueye::kQuery) {
            return c.live ? 1 : 0;
        }
        c.live = true;
        sim::StartLiveThread(sim::Get());
        return 0;
    });
}

UEYE_API UeyeStatus is_TriggerMode(UeyeHandle hCam, int32_t nMode) {
    return OnCamera(
        "is_TriggerMode", hCam, Args("mode=0x%x", nMode).c_str(), [nMode](sim::Camera&) {
            if (nMode == ueye::kQuerySupportedTrigger) {
                return IS_SET_TRIGGER_HI_LO | IS_SET_TRIGGER_LO_HI | IS_SET_TRIGGER_SOFTWARE |
                       IS_SET_TRIGGER_PRE_HI_LO | IS_SET_TRIGGER_PRE_LO_HI;
            }
            return nMode == ueye::kQuery ? IS_SET_TRIGGER_SOFTWARE : 0;
        });
}

UEYE_API UeyeStatus is_AOI(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    return OnCamera(
        "is_AOI", hCam, Args("cmd=%u size=%u", nCommand, nSize).c_str(), [=](sim::Camera& c) {
            if (pParam == nullptr || nSize == 0 || nSize > 16) {
                return kBadParameter;
            }
            int32_t v[4] = {0, 0, static_cast<int32_t>(c.config.maxWidth),
                            static_cast<int32_t>(c.config.maxHeight)};
            if (nCommand == ueye::kAoiGetSize || nCommand == ueye::kAoiGetSizeMax) {
                v[0] = v[2];
                v[1] = v[3];
            }
            const bool get = nCommand != ueye::kAoiSetRect && nCommand != ueye::kAoiSetSize;
            if (get) {
                std::memcpy(pParam, v, nSize);
            }
            return 0;
        });
}

UEYE_API UeyeStatus is_Exposure(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    const std::string args =
        nCommand == ueye::kExposureSet && pParam != nullptr && nSize == 8
            ? Args("cmd=%u size=%u value=%.12g", nCommand, nSize, *static_cast<double*>(pParam))
            : Args("cmd=%u size=%u", nCommand, nSize);
    return OnCamera("is_Exposure", hCam, args.c_str(), [=](sim::Camera&) {
        const double range[3] = {0.01, 1000.0, 0.01};
        const double current = 10.0;
        if (nCommand == ueye::kExposureRange && nSize == sizeof range) {
            std::memcpy(pParam, range, sizeof range);
        } else if (nCommand == ueye::kExposureGet && nSize == 8) {
            std::memcpy(pParam, &current, 8);
        }
        return 0;
    });
}

UEYE_API UeyeStatus is_FrameRate(UeyeHandle hCam, double dFps, double* pdNewFps) {
    return OnCamera("is_FrameRate", hCam, Args("fps=%g", dFps).c_str(), [=](sim::Camera&) {
        *pdNewFps = dFps == ueye::kQueryFrameRate ? 30.0 : dFps;
        return 0;
    });
}

UEYE_API UeyeStatus is_FrameTimeRange(UeyeHandle hCam, double* pdMin, double* pdMax,
                                      double* pdIntervall) {
    return OnCamera("is_FrameTimeRange", hCam, "", [=](sim::Camera&) {
        *pdMin = 0.001;
        *pdMax = 1.0;
        *pdIntervall = 0.001;
        return 0;
    });
}

UEYE_API UeyeStatus is_Binning(UeyeHandle hCam, int32_t nMode) {
    return OnCamera("is_Binning", hCam, Args("mode=0x%x", nMode).c_str(),
                    [](sim::Camera&) { return 0; });
}

UEYE_API UeyeStatus is_Subsampling(UeyeHandle hCam, int32_t nMode) {
    return OnCamera("is_Subsampling", hCam, Args("mode=0x%x", nMode).c_str(),
                    [](sim::Camera&) { return 0; });
}

UEYE_API UeyeStatus is_CaptureStatus(UeyeHandle hCam, uint32_t nCommand, void* pParam,
                                     uint32_t nSize) {
    return OnCamera("is_CaptureStatus", hCam, Args("cmd=%u size=%u", nCommand, nSize).c_str(),
                    [=](sim::Camera& c) {
                        if (nCommand == ueye::kCaptureStatusGet) {
                            if (pParam == nullptr || nSize != sizeof(UeyeCaptureStatus)) {
                                return kBadParameter;
                            }
                            UeyeCaptureStatus info = {};
                            info.nTotal = c.statusTotal;
                            std::memcpy(info.anCount, c.statusCounts, sizeof info.anCount);
                            std::memcpy(pParam, &info, sizeof info);
                        } else if (nCommand == ueye::kCaptureStatusReset) {
                            c.statusTotal = 0;
                            std::memset(c.statusCounts, 0, sizeof c.statusCounts);
                        }
                        return 0;
                    });
}

UEYE_API UeyeStatus is_IO(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    std::string bytes;
    for (uint32_t i = 0; pParam != nullptr && i < nSize && i < 64; ++i) {
        bytes += Args("%02x", static_cast<unsigned char*>(pParam)[i]);
    }
    return OnCamera("is_IO", hCam,
                    Args("cmd=%u size=%u bytes=%s", nCommand, nSize, bytes.c_str()).c_str(),
                    [](sim::Camera&) { return 0; });
}

UEYE_API UeyeStatus is_ParameterFile(UeyeHandle hCam, uint32_t nCommand, void*, uint32_t nSize) {
    // No parameter file is known to this camera yet.
    return OnCamera("is_ParameterFile", hCam, Args("cmd=%u size=%u", nCommand, nSize).c_str(),
                    [](sim::Camera&) { return kBadParameter; });
}

UEYE_API UeyeStatus is_CameraMemory(UeyeHandle hCam, uint32_t nCommand, void* pParam,
                                    uint32_t nSize) {
    return OnCamera("is_CameraMemory", hCam, Args("cmd=%u size=%u", nCommand, nSize).c_str(),
                    [=](sim::Camera&) {
                        if (nCommand == ueye::kMemorySize && nSize == 4) {
                            std::memset(pParam, 0, 4); // no user memory
                            return 0;
                        }
                        return kBadParameter;
                    });
}
