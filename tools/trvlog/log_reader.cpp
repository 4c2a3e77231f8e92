#include "log_reader.h"

namespace {

constexpr DWORD kMapBytes = 10000;
constexpr size_t kUnits = kMapBytes / sizeof(wchar_t);

LRESULT CALLBACK ViewerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND CreateViewerWindow() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TrvLogViewer";
    RegisterClassExW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"Tarvello Log", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                           100, nullptr, nullptr, wc.hInstance, nullptr);
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

LogReader::LogReader() {
    m_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kMapBytes,
                                   L"TRV_LOG_MAPNAME");
    if (m_mapping != nullptr) {
        m_view = static_cast<wchar_t*>(MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    }
    m_mutex = CreateMutexW(nullptr, FALSE, L"TRV_LOG_MAPLOCKNAME");
    m_event = CreateEventW(nullptr, FALSE, FALSE, L"TRV_LOG_EVENTNAME");
    m_window = CreateViewerWindow();
}

LogReader::~LogReader() {
    if (m_window != nullptr) {
        DestroyWindow(m_window);
    }
    if (m_view != nullptr) {
        UnmapViewOfFile(m_view);
    }
    for (HANDLE h : {m_mapping, m_mutex, m_event}) {
        if (h != nullptr) {
            CloseHandle(h);
        }
    }
}

bool LogReader::WaitForLine(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        PumpMessages();
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms) {
            return false;
        }
        const DWORD r = MsgWaitForMultipleObjects(1, &m_event, FALSE, ms - spent, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            return true;
        }
        if (r != WAIT_OBJECT_0 + 1) {
            return false;
        }
    }
}

std::wstring LogReader::Drain() {
    std::wstring text;
    if (!ok()) {
        return text;
    }
    const DWORD wait = WaitForSingleObject(m_mutex, 5000);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        return text;
    }
    size_t n = 0;
    while (n < kUnits && m_view[n] != 0) {
        ++n;
    }
    text.assign(m_view, n);
    m_view[0] = 0;
    ReleaseMutex(m_mutex);
    return text;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}
