#include "cam_thread.h"

#include "acquisition/camera_loading.h"
#include "acquisition/frame_handoff.h"
#include "camera/my_cam.h"
#include "infra/globals.h"
#include "infra/trv_log.h"
#include "record/recorder.h"

HWND gCamWnd = nullptr;
volatile LONG gCamThreadRunning = 0;
volatile LONG gCamThreadReady = 0;

namespace {

constexpr wchar_t kClassName[] = L"MyCamWindowClass";
constexpr DWORD kWindowStyle = 0x00840000; // WS_BORDER | WS_THICKFRAME

HWND CreateCamWindow() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = CamWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kClassName;
    wc.hIconSm = nullptr;
    RegisterClassExW(&wc); // fails harmlessly when a second start-up registers it again
    HWND hwnd = CreateWindowExW(0, kClassName, L"Cam Window", kWindowStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
    ShowWindow(hwnd, SW_HIDE);
    UpdateWindow(hwnd);
    return hwnd;
}

} // namespace

LRESULT CALLBACK CamWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    RecordEvent(msg, wParam, lParam);
    try {
        if (gCurCamIndex >= gMyCams.size()) {
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        }
        return OnUEyeMessage(gMyCams[gCurCamIndex], hwnd, msg, wParam, lParam);
    } catch (...) {
        return 0; // nothing escapes into the message loop
    }
}

DWORD WINAPI uEueCamThread(LPVOID param) {
    const LONG startNumber = static_cast<LONG>(reinterpret_cast<intptr_t>(param));
    RecordCameraThread();
    try {
        gLog.Write("***** UEYECAM uEueCamThread1\n");
        HWND hwnd = CreateCamWindow();
        gCamWnd = hwnd;
        if (hwnd == nullptr) {
            gLog.Write("***** UEYECAM uEueCamThread no camera window, error ");
            LogUInt(GetLastError());
            gLog.Write("\n");
        }
        MyLoadMultiple(hwnd);
        if (gMyCams.empty()) {
            MyLoadSingle(hwnd);
        }
        gLog.Write("***** UEYECAM uEueCamThread2\n");
        InterlockedExchange(&gCamThreadReady, startNumber);
        // The handle is closed at once: a signal nobody waits for any more (the start timed
        // out) must not keep the event alive and signalled for a later start.
        HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, L"TRV_UEYE_EVENT");
        if (ready != nullptr) {
            SetEvent(ready);
            CloseHandle(ready);
        }
        gLog.Write("***** UEYECAM uEueCamThread3\n");
        // GetMessageW answers -1 for a window that does not exist: that ends the loop too.
        MSG msg;
        while (hwnd != nullptr && GetMessageW(&msg, hwnd, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        gLog.Write("***** UEYECAM uEueCamThread4\n");
    } catch (...) {
        gLog.Write("***** UEYECAM uEueCamThread stopped by an exception\n");
    }
    InterlockedExchange(&gCamThreadRunning, 0);
    return 1;
}
