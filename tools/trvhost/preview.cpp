#include "preview.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace trvhost {
namespace {

// The newest frame in rows padded to 4 bytes, as a DIB wants them.
std::atomic<HWND> gPreview{nullptr};
std::atomic<bool> gPreviewClosed{false};
std::wstring (*gTitle)() = nullptr;
std::mutex gPreviewLock;
std::vector<unsigned char> gPreviewPixels;
int32_t gPreviewWidth = 0;
int32_t gPreviewHeight = 0;

constexpr UINT_PTR kTitleTimer = 1;

// Paints the newest frame scaled to the client area.
LRESULT CALLBACK PreviewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client;
        GetClientRect(hwnd, &client);
        std::lock_guard<std::mutex> g(gPreviewLock);
        if (gPreviewPixels.empty()) {
            FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        } else {
            BITMAPINFO bmi = {};
            bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
            bmi.bmiHeader.biWidth = gPreviewWidth;
            bmi.bmiHeader.biHeight = -gPreviewHeight; // top row first
            bmi.bmiHeader.biPlanes = 1;
            bmi.bmiHeader.biBitCount = 24;
            bmi.bmiHeader.biCompression = BI_RGB;
            SetStretchBltMode(dc, COLORONCOLOR);
            StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, gPreviewWidth,
                          gPreviewHeight, gPreviewPixels.data(), &bmi, DIB_RGB_COLORS, SRCCOPY);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the frame covers the whole client area
    case WM_TIMER:
        SetWindowTextW(hwnd, gTitle().c_str());
        return 0;
    case WM_CLOSE:
        gPreviewClosed = true;
        gPreview = nullptr;
        DestroyWindow(hwnd);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

// The outer size of a window whose client area shows a frame, at most 960 pixels wide.
SIZE WindowSize(int32_t width, int32_t height) {
    const double scale = std::min(1.0, 960.0 / width);
    RECT r = {0, 0, static_cast<LONG>(width * scale), static_cast<LONG>(height * scale)};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    return {r.right - r.left, r.bottom - r.top};
}

} // namespace

bool OpenPreview(std::wstring (*title)()) {
    gTitle = title;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PreviewProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = L"TrvhostPreview";
    if (RegisterClassExW(&wc) == 0) {
        return false;
    }
    const SIZE size = WindowSize(640, 480);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"trvhost", WS_OVERLAPPEDWINDOW, 0, 0, size.cx,
                                size.cy, nullptr, nullptr, wc.hInstance, nullptr);
    if (hwnd == nullptr) {
        return false;
    }
    SetTimer(hwnd, kTitleTimer, 500, nullptr);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    gPreview = hwnd;
    return true;
}

void FitPreview(int32_t width, int32_t height) {
    if (HWND w = gPreview; w != nullptr && width > 0 && height > 0) {
        const SIZE size = WindowSize(width, height);
        SetWindowPos(w, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    }
}

void ShowInPreview(const unsigned char* pixels, int32_t width, int32_t height) {
    const HWND window = gPreview;
    if (window == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> g(gPreviewLock);
        const size_t row = static_cast<size_t>(width) * 3;
        const size_t stride = (row + 3) & ~size_t{3};
        gPreviewPixels.resize(stride * static_cast<size_t>(height));
        for (int32_t y = 0; y < height; ++y) {
            std::copy(pixels + y * row, pixels + (y + 1) * row,
                      gPreviewPixels.begin() + y * stride);
        }
        gPreviewWidth = width;
        gPreviewHeight = height;
    }
    InvalidateRect(window, nullptr, FALSE); // painted on the window's thread
}

bool PreviewClosed() {
    return gPreviewClosed;
}

} // namespace trvhost
