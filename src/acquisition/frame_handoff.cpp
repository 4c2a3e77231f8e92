#include "frame_handoff.h"

#include "acquisition/frame_convert.h"
#include "camera/capture_status.h"
#include "infra/globals.h"
#include "infra/settings.h"
#include "infra/trv_log.h"
#include "record/recorder.h"

#include <cstdint>
#include <new>

uint32_t gLastFrameCam = 0xFFFFFFFFu;
volatile LONG gFrameEventCount = 0;
HANDLE gStreamMutex = nullptr;

namespace {

constexpr int32_t kSlowFrameMs = 500;

void ReleaseFrameBuffers(MyCam& cam) {
    delete[] cam.m_pcFrameBufferA;
    delete[] cam.m_pcFrameBufferB;
    cam.m_pcFrameBufferA = nullptr;
    cam.m_pcFrameBufferB = nullptr;
}

// Both buffers anew for `size` bytes; false, with none kept, when memory runs out.
bool AllocateFrameBuffers(MyCam& cam, int32_t size) {
    ReleaseFrameBuffers(cam);
    cam.m_nFrameBufferSize = size;
    if (size <= 0) {
        return true;
    }
    cam.m_pcFrameBufferA = new (std::nothrow) unsigned char[static_cast<size_t>(size)];
    cam.m_pcFrameBufferB = new (std::nothrow) unsigned char[static_cast<size_t>(size)];
    if (cam.m_pcFrameBufferA == nullptr || cam.m_pcFrameBufferB == nullptr) {
        ReleaseFrameBuffers(cam);
        cam.m_nFrameBufferSize = 0; // the next frame tries again
        return false;
    }
    return true;
}

// Whether the camera event queued next for the window is a frame of the live current camera
// `hCam`: the image memory then already holds that frame or a newer one, so this one is not handed
// over and a host slower than the camera gets no backlog. The queue is only looked at: every
// event is handled where it was posted. Called under the command lock, which guards the live
// flags as the stream mutex does. Posted messages only, so no sent message is handled here.
bool NewerFrameQueued(const MyCam& current, HWND hwnd, uint32_t hCam) {
    MSG next;
    return current.m_bLive && current.m_hCam == hCam &&
           PeekMessageW(&next, hwnd, IS_UEYE_MESSAGE, IS_UEYE_MESSAGE,
                        PM_NOREMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE) &&
           next.wParam == 0 && static_cast<uint32_t>(next.lParam) == hCam;
}

void OnFrame(MyCam& cam, HWND hwnd, LPARAM lParam) {
    const DWORD t1 = GetTickCount();
    const DWORD t2 = GetTickCount();
    const int32_t interval = static_cast<int32_t>(t2 - cam.m_dwLastFrameTick);
    cam.m_dwLastFrameTick = t1;
    const uint32_t hCam = static_cast<uint32_t>(lParam);
    gLastFrameCam = hCam;
    InterlockedIncrement(&gFrameEventCount);

    // A running command owns the records: this frame is dropped, never waited for.
    if (TryEnterCriticalSection(&gCmdLock)) {
        const uint64_t taken = RecordMark();
        // The record is chosen only now: a stream switch that returned before the lock was
        // taken has made another camera current, and a frame of the old one must not follow it.
        MyCam* current = CurrentCam();
        const bool newer = current != nullptr && NewerFrameQueued(*current, hwnd, hCam);
        bool skip = current == nullptr || newer;
        unsigned char* pixels = skip ? nullptr : MyGetFrameBuffer(*current, hCam, skip);
        const int32_t width = skip ? 0 : current->m_nSizeX;
        const int32_t height = skip ? 0 : current->m_nSizeY;
        const int32_t size = skip ? 0 : current->m_nFrameBufferSize;
        const TrvFrameCallback callback = gFrameCallback;
        RecordDrop(current == nullptr    ? "nocam"
                   : newer               ? "newer"
                   : skip                ? "buffer"
                   : callback == nullptr ? "nocallback"
                                         : nullptr);
        LeaveCriticalSection(&gCmdLock);
        if (callback != nullptr && !skip) {
            RecordFrame(pixels, width, height, size, taken);
            callback(pixels, width, height, size, 0, 0);
        }
    } else {
        RecordDrop("lock");
    }

    if (interval > kSlowFrameMs) {
        gLog.Write("***** UEYECAM IS_UEYE_MESSAGE m_nBitsPerPixel=");
        LogInt(cam.m_nBitsPerPixel);
        gLog.Write(" time=");
        LogInt(interval);
        gLog.Write("\n");
    }
}

void OnTransferFailed(MyCam& cam) {
    if (ReadSettingsInt(L"CamErrorLog", 1) == 1) {
        gLog.Write("OnUEyeMessage IS_TRANSFER_FAILED\n");
        IsTransferFailed(cam, true);
    } else {
        IsTransferFailed(cam, false);
    }
    if (gErrorCallback != nullptr) {
        gErrorCallback();
    }
}

void OnGenericError() {
    gLog.Write("OnUEyeMessage IS_GENERIC_ERROR\n");
    if (gErrorCallback != nullptr) {
        gErrorCallback();
    }
}

} // namespace

HANDLE StreamMutex() {
    HANDLE mutex = InterlockedCompareExchangePointer(&gStreamMutex, nullptr, nullptr);
    if (mutex != nullptr) {
        return mutex;
    }
    HANDLE created = CreateMutexW(nullptr, FALSE, L"UEYECAM");
    if (created == nullptr) {
        return nullptr;
    }
    // The camera thread and a command may open it first at the same moment.
    void* previous = InterlockedCompareExchangePointer(&gStreamMutex, created, nullptr);
    if (previous != nullptr) {
        CloseHandle(created);
        return previous;
    }
    return created;
}

void CloseStreamMutex() {
    if (gStreamMutex != nullptr) {
        CloseHandle(gStreamMutex);
        gStreamMutex = nullptr;
    }
}

LRESULT OnUEyeMessage(MyCam& cam, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != IS_UEYE_MESSAGE) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    switch (wParam) {
    case 0:
        OnFrame(cam, hwnd, lParam);
        break;
    case IS_TRANSFER_FAILED:
        OnTransferFailed(cam);
        break;
    case 4:
    case 4096:
        Beep(400, 50);
        break;
    case IS_GENERIC_ERROR:
        OnGenericError();
        break;
    default:
        break;
    }
    return 0;
}

bool MyIsStreamLive(uint32_t hCam) {
    HANDLE mutex = StreamMutex();
    const DWORD wait = WaitForSingleObject(mutex, INFINITE);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        return false;
    }
    for (const MyCam& cam : gMyCams) {
        if (cam.m_hCam == hCam) {
            const bool live = cam.m_bLive;
            ReleaseMutex(mutex);
            return live;
        }
    }
    ReleaseMutex(mutex);
    gLog.Write("MyIsStreamLive unable to find camId\n");
    return false;
}

unsigned char* MyGetFrameBuffer(MyCam& cam, uint32_t hCam, bool& failed) {
    failed = false;
    if (cam.m_pcImageMemory == nullptr || gFrameCallback == nullptr) {
        return nullptr;
    }
    if (!MyIsStreamLive(hCam)) {
        gLog.Write("MyGetFrameBuffer received non live frame: ");
        LogUInt(hCam);
        gLog.Write("\n");
    }
    const int64_t pixels = static_cast<int64_t>(cam.m_nSizeX) * cam.m_nSizeY;
    // Sizes whose byte count does not fit 32 bits are refused before they are multiplied.
    if (pixels > INT32_MAX / 3 || pixels < INT32_MIN / 3) {
        gLog.Write("MyGetFrameBuffer frame too large: ");
        LogInt(cam.m_nSizeX);
        gLog.Write("x");
        LogInt(cam.m_nSizeY);
        gLog.Write("\n");
        failed = true;
        return nullptr;
    }
    const int32_t size = static_cast<int32_t>(pixels * 3);
    if (size != cam.m_nFrameBufferSize && !AllocateFrameBuffers(cam, size)) {
        gLog.Write("MyGetFrameBuffer cannot allocate frame buffers of ");
        LogInt(size);
        gLog.Write(" bytes\n");
        failed = true;
        return nullptr;
    }
    unsigned char* buffer = cam.m_bFrameBufferToggle ? cam.m_pcFrameBufferB : cam.m_pcFrameBufferA;
    cam.m_bFrameBufferToggle = !cam.m_bFrameBufferToggle;
    if (buffer == nullptr) {
        return nullptr; // a size of 0 or below: nothing to fill
    }
    const uint8_t* memory = reinterpret_cast<const uint8_t*>(cam.m_pcImageMemory);
    if (cam.m_nBitsPerPixel == 24) {
        trv::Copy24(memory, buffer, static_cast<size_t>(size));
    } else if (cam.m_nBitsPerPixel == 8 && pixels > 0) {
        trv::ExpandMono8To24(memory, buffer, static_cast<size_t>(pixels));
    }
    return buffer;
}
