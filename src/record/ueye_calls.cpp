// The camera-library calls of the plug-in: each goes straight to the library, and while a
// recording runs it is written down with its arguments, result and out-values, decoded per
// call (FORMAT.md).
#include "record/record_writer.h"
#include "record/recorder.h"
#include "ueye/ueye_api.h"

#include <cstring>

namespace {

using trv::JsonLine;

constexpr size_t kMostInBytes = 64; // of a buffer's contents before the call

// A buffer's first bytes as they were before the call (the library may overwrite them).
struct Before {
    Before(const void* p, uint32_t size)
        : bytes(p == nullptr          ? 0
                : size < kMostInBytes ? size
                                      : kMostInBytes) {
        if (bytes != 0) {
            std::memcpy(data, p, bytes);
        }
    }
    uint8_t data[kMostInBytes];
    size_t bytes;
};

uint64_t AddressOf(const void* p) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

// One "call" record: name, what went in, the result, what came out, how long it took.
template <class In, class Out>
void Write(const char* fn, int64_t start, UeyeStatus result, In in, Out out) {
    const int64_t micros = RecordMicrosSince(start);
    WriteRecord("call", [&](JsonLine& j) {
        j.Key("fn").Text(fn);
        j.Key("in").Open();
        in(j);
        j.Close();
        j.Key("r").Int(result);
        j.Key("out").Open();
        out(j);
        j.Close();
        j.Key("us").Int(micros);
    });
}

void Nothing(JsonLine&) {}

// Calls that take the handle and one integer, and answer with the status alone.
template <class Call>
UeyeStatus HandleAndValue(const char* fn, const char* name, Call call, UeyeHandle hCam,
                          int32_t value) {
    if (!Recording()) {
        return call(hCam, value);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = call(hCam, value);
    Write(
        fn, start, r,
        [&](JsonLine& j) {
            j.Key("hCam").UInt(hCam);
            j.Key(name).Int(value);
        },
        Nothing);
    return r;
}

// The calls of the form (handle, command, buffer, size); `words` picks how the buffer reads.
enum class Words { Int32, UInt32, Double };

void Buffer(JsonLine& j, Words words, const void* data, size_t bytes) {
    if (data == nullptr) {
        j.Null();
    } else if (words == Words::Double) {
        j.DoubleArray(data, bytes);
    } else if (words == Words::UInt32) {
        j.UInt32Array(data, bytes);
    } else {
        j.Int32Array(data, bytes);
    }
}

template <class Call>
UeyeStatus CommandBuffer(const char* fn, Call call, Words words, UeyeHandle hCam, uint32_t nCommand,
                         void* pParam, uint32_t nSize) {
    if (!Recording()) {
        return call(hCam, nCommand, pParam, nSize);
    }
    const int64_t start = RecordTicks();
    const Before before(pParam, nSize);
    const UeyeStatus r = call(hCam, nCommand, pParam, nSize);
    Write(
        fn, start, r,
        [&](JsonLine& j) {
            j.Key("hCam").UInt(hCam);
            j.Key("nCommand").UInt(nCommand);
            j.Key("nSize").UInt(nSize);
            j.Key("pParam");
            Buffer(j, words, pParam == nullptr ? nullptr : before.data, before.bytes);
        },
        [&](JsonLine& j) {
            j.Key("pParam");
            Buffer(j, words, pParam, nSize);
        });
    return r;
}

void CameraEntry(JsonLine& j, const UeyeCameraEntry& e) {
    j.Open();
    j.Key("nCameraId").UInt(e.nCameraId);
    j.Key("nDeviceId").UInt(e.nDeviceId);
    j.Key("nSensorId").UInt(e.nSensorId);
    j.Key("nInUse").UInt(e.nInUse);
    j.Key("szSerNo").Text(e.szSerNo, sizeof e.szSerNo);
    j.Key("szInfo").Text(e.szInfo, sizeof e.szInfo);
    j.Key("nStatus").UInt(e.nStatus);
    j.Close();
}

} // namespace

UeyeStatus is_CameraCount(int32_t* pnNumCams) {
    if (!Recording()) {
        return ueye_raw::is_CameraCount(pnNumCams);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = ueye_raw::is_CameraCount(pnNumCams);
    Write("is_CameraCount", start, r, Nothing, [&](JsonLine& j) {
        j.Key("pnNumCams");
        pnNumCams == nullptr ? j.Null() : j.Int(*pnNumCams);
    });
    return r;
}

UeyeStatus is_CameraList(void* pucl) {
    if (!Recording()) {
        return ueye_raw::is_CameraList(pucl);
    }
    // The library reads the count word the plug-in wrote into its buffer: never null.
    const int64_t start = RecordTicks();
    uint32_t asked = 0;
    std::memcpy(&asked, pucl, 4);
    const UeyeStatus r = ueye_raw::is_CameraList(pucl);
    Write(
        "is_CameraList", start, r, [&](JsonLine& j) { j.Key("nCount").UInt(asked); },
        [&](JsonLine& j) {
            uint32_t listed = 0;
            std::memcpy(&listed, pucl, 4);
            j.Key("nCount").UInt(listed);
            // Only the entries the buffer was made for, and the plug-in reads.
            const uint32_t n = listed < asked ? listed : asked;
            j.Key("entries").OpenArray();
            for (uint32_t i = 0; i < n; ++i) {
                UeyeCameraEntry e;
                std::memcpy(&e, static_cast<const char*>(pucl) + 4 + sizeof e * i, sizeof e);
                CameraEntry(j, e);
            }
            j.CloseArray();
        });
    return r;
}

UeyeStatus is_CameraInit(UeyeHandle* phCam, HWND hWnd) {
    if (!Recording()) {
        return ueye_raw::is_CameraInit(phCam, hWnd);
    }
    // The library reads the camera asked for from *phCam: never null.
    const int64_t start = RecordTicks();
    const UeyeHandle asked = *phCam;
    const UeyeStatus r = ueye_raw::is_CameraInit(phCam, hWnd);
    Write(
        "is_CameraInit", start, r,
        [&](JsonLine& j) {
            j.Key("phCam").UInt(asked);
            j.Key("hWnd").Address(AddressOf(hWnd));
        },
        [&](JsonLine& j) { j.Key("phCam").UInt(*phCam); });
    return r;
}

UeyeStatus is_InitRetryQuery(UeyeHandle hCam, uint32_t nCommand, int32_t* pnValue) {
    if (!Recording()) {
        return ueye_raw::is_InitRetryQuery(hCam, nCommand, pnValue);
    }
    const int64_t start = RecordTicks();
    const int32_t asked = pnValue == nullptr ? 0 : *pnValue;
    const UeyeStatus r = ueye_raw::is_InitRetryQuery(hCam, nCommand, pnValue);
    Write(
        "is_InitRetryQuery", start, r,
        [&](JsonLine& j) {
            j.Key("hCam").UInt(hCam);
            j.Key("nCommand").UInt(nCommand);
            j.Key("pnValue").Int(asked);
        },
        [&](JsonLine& j) { j.Key("pnValue").Int(pnValue == nullptr ? 0 : *pnValue); });
    return r;
}

UeyeStatus is_CameraExit(UeyeHandle hCam) {
    if (!Recording()) {
        return ueye_raw::is_CameraExit(hCam);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = ueye_raw::is_CameraExit(hCam);
    Write(
        "is_CameraExit", start, r, [&](JsonLine& j) { j.Key("hCam").UInt(hCam); }, Nothing);
    return r;
}

UeyeStatus is_SensorInfo(UeyeHandle hCam, UeyeSensorInfo* pInfo) {
    if (!Recording()) {
        return ueye_raw::is_SensorInfo(hCam, pInfo);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = ueye_raw::is_SensorInfo(hCam, pInfo);
    Write(
        "is_SensorInfo", start, r, [&](JsonLine& j) { j.Key("hCam").UInt(hCam); },
        [&](JsonLine& j) {
            if (pInfo == nullptr) {
                return;
            }
            j.Key("head").Hex(pInfo->head, sizeof pInfo->head);
            j.Key("nColorKind").UInt(pInfo->nColorKind);
            j.Key("nMaxWidth").UInt(pInfo->nMaxWidth);
            j.Key("nMaxHeight").UInt(pInfo->nMaxHeight);
        });
    return r;
}

UeyeStatus is_DisplayMode(UeyeHandle hCam, int32_t nMode) {
    return HandleAndValue("is_DisplayMode", "nMode", ueye_raw::is_DisplayMode, hCam, nMode);
}

UeyeStatus is_ColorMode(UeyeHandle hCam, int32_t nMode) {
    return HandleAndValue("is_ColorMode", "nMode", ueye_raw::is_ColorMode, hCam, nMode);
}

UeyeStatus is_ImageMemAlloc(UeyeHandle hCam, int32_t nWidth, int32_t nHeight, int32_t nBits,
                            char** ppcMem, int32_t* pnMemId) {
    if (!Recording()) {
        return ueye_raw::is_ImageMemAlloc(hCam, nWidth, nHeight, nBits, ppcMem, pnMemId);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = ueye_raw::is_ImageMemAlloc(hCam, nWidth, nHeight, nBits, ppcMem, pnMemId);
    Write(
        "is_ImageMemAlloc", start, r,
        [&](JsonLine& j) {
            j.Key("hCam").UInt(hCam);
            j.Key("nWidth").Int(nWidth);
            j.Key("nHeight").Int(nHeight);
            j.Key("nBits").Int(nBits);
        },
        [&](JsonLine& j) {
            j.Key("ppcMem").Address(ppcMem == nullptr ? 0 : AddressOf(*ppcMem));
            j.Key("pnMemId").Int(pnMemId == nullptr ? 0 : *pnMemId);
        });
    return r;
}

namespace {

template <class Call>
UeyeStatus Memory(const char* fn, Call call, UeyeHandle hCam, char* pcMem, int32_t nMemId) {
    if (!Recording()) {
        return call(hCam, pcMem, nMemId);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = call(hCam, pcMem, nMemId);
    Write(
        fn, start, r,
        [&](JsonLine& j) {
            j.Key("hCam").UInt(hCam);
            j.Key("pcMem").Address(AddressOf(pcMem));
            j.Key("nMemId").Int(nMemId);
        },
        Nothing);
    return r;
}

} // namespace

UeyeStatus is_ImageMemActivate(UeyeHandle hCam, char* pcMem, int32_t nMemId) {
    return Memory("is_ImageMemActivate", ueye_raw::is_ImageMemActivate, hCam, pcMem, nMemId);
}

UeyeStatus is_ImageMemFree(UeyeHandle hCam, char* pcMem, int32_t nMemId) {
    return Memory("is_ImageMemFree", ueye_raw::is_ImageMemFree, hCam, pcMem, nMemId);
}

UeyeStatus is_EventMessage(UeyeHandle hCam, int32_t nEvent, HWND hWnd) {
    if (!Recording()) {
        return ueye_raw::is_EventMessage(hCam, nEvent, hWnd);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = ueye_raw::is_EventMessage(hCam, nEvent, hWnd);
    Write(
        "is_EventMessage", start, r,
        [&](JsonLine& j) {
            j.Key("hCam").UInt(hCam);
            j.Key("nEvent").Int(nEvent);
            j.Key("hWnd").Address(AddressOf(hWnd));
        },
        Nothing);
    return r;
}

UeyeStatus is_StopLiveVideo(UeyeHandle hCam, int32_t nWait) {
    return HandleAndValue("is_StopLiveVideo", "nWait", ueye_raw::is_StopLiveVideo, hCam, nWait);
}

UeyeStatus is_CaptureVideo(UeyeHandle hCam, int32_t nWait) {
    return HandleAndValue("is_CaptureVideo", "nWait", ueye_raw::is_CaptureVideo, hCam, nWait);
}

UeyeStatus is_TriggerMode(UeyeHandle hCam, int32_t nMode) {
    return HandleAndValue("is_TriggerMode", "nMode", ueye_raw::is_TriggerMode, hCam, nMode);
}

UeyeStatus is_AOI(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    return CommandBuffer("is_AOI", ueye_raw::is_AOI, Words::Int32, hCam, nCommand, pParam, nSize);
}

UeyeStatus is_Exposure(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    return CommandBuffer("is_Exposure", ueye_raw::is_Exposure, Words::Double, hCam, nCommand,
                         pParam, nSize);
}

UeyeStatus is_FrameRate(UeyeHandle hCam, double dFps, double* pdNewFps) {
    if (!Recording()) {
        return ueye_raw::is_FrameRate(hCam, dFps, pdNewFps);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = ueye_raw::is_FrameRate(hCam, dFps, pdNewFps);
    Write(
        "is_FrameRate", start, r,
        [&](JsonLine& j) {
            j.Key("hCam").UInt(hCam);
            j.Key("dFps").Double(dFps);
        },
        [&](JsonLine& j) {
            j.Key("pdNewFps");
            pdNewFps == nullptr ? j.Null() : j.Double(*pdNewFps);
        });
    return r;
}

UeyeStatus is_FrameTimeRange(UeyeHandle hCam, double* pdMin, double* pdMax, double* pdIntervall) {
    if (!Recording()) {
        return ueye_raw::is_FrameTimeRange(hCam, pdMin, pdMax, pdIntervall);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = ueye_raw::is_FrameTimeRange(hCam, pdMin, pdMax, pdIntervall);
    Write(
        "is_FrameTimeRange", start, r, [&](JsonLine& j) { j.Key("hCam").UInt(hCam); },
        [&](JsonLine& j) {
            const double* values[3] = {pdMin, pdMax, pdIntervall};
            const char* names[3] = {"pdMin", "pdMax", "pdIntervall"};
            for (int i = 0; i < 3; ++i) {
                j.Key(names[i]);
                values[i] == nullptr ? j.Null() : j.Double(*values[i]);
            }
        });
    return r;
}

UeyeStatus is_Binning(UeyeHandle hCam, int32_t nMode) {
    return HandleAndValue("is_Binning", "nMode", ueye_raw::is_Binning, hCam, nMode);
}

UeyeStatus is_Subsampling(UeyeHandle hCam, int32_t nMode) {
    return HandleAndValue("is_Subsampling", "nMode", ueye_raw::is_Subsampling, hCam, nMode);
}

UeyeStatus is_CaptureStatus(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    if (!Recording()) {
        return ueye_raw::is_CaptureStatus(hCam, nCommand, pParam, nSize);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = ueye_raw::is_CaptureStatus(hCam, nCommand, pParam, nSize);
    Write(
        "is_CaptureStatus", start, r,
        [&](JsonLine& j) {
            j.Key("hCam").UInt(hCam);
            j.Key("nCommand").UInt(nCommand);
            j.Key("nSize").UInt(nSize);
        },
        [&](JsonLine& j) {
            if (pParam == nullptr || nSize < sizeof(UeyeCaptureStatus)) {
                return;
            }
            UeyeCaptureStatus s;
            std::memcpy(&s, pParam, sizeof s);
            j.Key("nTotal").UInt(s.nTotal);
            // The counters that are not 0, as [code, count].
            j.Key("anCount").OpenArray();
            for (uint32_t code = 0; code < 256; ++code) {
                if (s.anCount[code] != 0) {
                    j.OpenArray();
                    j.UInt(code);
                    j.UInt(s.anCount[code]);
                    j.CloseArray();
                }
            }
            j.CloseArray();
        });
    return r;
}

UeyeStatus is_IO(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    // Output limits and levels are doubles; the other blocks are 32-bit words.
    const bool doubles = nCommand == ueye::kIoOutputMin || nCommand == ueye::kIoOutputMax ||
                         nCommand == ueye::kIoOutputLevel;
    return CommandBuffer("is_IO", ueye_raw::is_IO, doubles ? Words::Double : Words::UInt32, hCam,
                         nCommand, pParam, nSize);
}

UeyeStatus is_ParameterFile(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    if (!Recording()) {
        return ueye_raw::is_ParameterFile(hCam, nCommand, pParam, nSize);
    }
    const int64_t start = RecordTicks();
    const UeyeStatus r = ueye_raw::is_ParameterFile(hCam, nCommand, pParam, nSize);
    Write(
        "is_ParameterFile", start, r,
        [&](JsonLine& j) {
            j.Key("hCam").UInt(hCam);
            j.Key("nCommand").UInt(nCommand);
            j.Key("nSize").UInt(nSize);
            // The plug-in's own path, which the library only reads.
            j.Key("pParam").Wide(static_cast<const wchar_t*>(pParam));
        },
        Nothing);
    return r;
}

UeyeStatus is_CameraMemory(UeyeHandle hCam, uint32_t nCommand, void* pParam, uint32_t nSize) {
    if (!Recording()) {
        return ueye_raw::is_CameraMemory(hCam, nCommand, pParam, nSize);
    }
    if (nCommand != ueye::kMemoryRead || nSize < sizeof(UeyeMemoryRead) || pParam == nullptr) {
        return CommandBuffer("is_CameraMemory", ueye_raw::is_CameraMemory, Words::UInt32, hCam,
                             nCommand, pParam, nSize);
    }
    const int64_t start = RecordTicks();
    UeyeMemoryRead request;
    std::memcpy(&request, pParam, sizeof request);
    const UeyeStatus r = ueye_raw::is_CameraMemory(hCam, nCommand, pParam, nSize);
    Write(
        "is_CameraMemory", start, r,
        [&](JsonLine& j) {
            j.Key("hCam").UInt(hCam);
            j.Key("nCommand").UInt(nCommand);
            j.Key("nSize").UInt(nSize);
            j.Key("nOffset").UInt(request.nOffset);
            j.Key("nCount").UInt(request.nCount);
            j.Key("nBufferAddress").Address(request.nBufferAddress);
        },
        [&](JsonLine& j) {
            // The bytes the library wrote into the plug-in's buffer, made for nCount of them.
            if (r != 0 || request.nBufferAddress == 0) {
                return;
            }
            j.Key("data").Hex(reinterpret_cast<const void*>(request.nBufferAddress),
                              request.nCount);
        });
    return r;
}
