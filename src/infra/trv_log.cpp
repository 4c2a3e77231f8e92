// Every kernel call of the shared-memory log is in this file.
#include "trv_log.h"

#include "log_buffer.h"
#include "record/recorder.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

constexpr wchar_t kMapName[] = L"TRV_LOG_MAPNAME";
constexpr wchar_t kMutexName[] = L"TRV_LOG_MAPLOCKNAME";
constexpr wchar_t kEventName[] = L"TRV_LOG_EVENTNAME";
constexpr wchar_t kViewerTitle[] = L"Tarvello Log";
constexpr DWORD kMapBytes = 10000;
constexpr DWORD kMutexWaitMs = 5000;
constexpr size_t kNumberChars = 349;

// Publishes a lazily created handle; when another thread was first, ours is closed.
HANDLE Publish(HANDLE* slot, HANDLE created) {
    if (created == nullptr) {
        return nullptr;
    }
    void* previous = InterlockedCompareExchangePointer(slot, created, nullptr);
    if (previous != nullptr) {
        CloseHandle(created);
        return previous;
    }
    return created;
}

size_t Length(const char* text) {
    return std::strlen(text);
}
size_t Length(const wchar_t* text) {
    return std::wcslen(text);
}

bool HasLineFeed(const char* text) {
    return std::strchr(text, '\n') != nullptr;
}
bool HasLineFeed(const wchar_t* text) {
    return std::wcschr(text, L'\n') != nullptr;
}

// Narrow bytes are widened one by one, in the C runtime's current ("C") locale.
wchar_t Widen(char c) {
    return static_cast<wchar_t>(btowc(static_cast<signed char>(c)));
}
wchar_t Widen(wchar_t c) {
    return c;
}

} // namespace

constinit TRV_Log gLog;

wchar_t* TRV_LogView::GetView() {
    wchar_t* view = static_cast<wchar_t*>(
        InterlockedCompareExchangePointer(reinterpret_cast<void**>(&m_pView), nullptr, nullptr));
    if (view != nullptr) {
        return view;
    }
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kMapBytes, kMapName);
    if (mapping == nullptr) {
        return nullptr;
    }
    view = static_cast<wchar_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, kMapBytes));
    if (view == nullptr) {
        CloseHandle(mapping);
        return nullptr;
    }
    void* previous =
        InterlockedCompareExchangePointer(reinterpret_cast<void**>(&m_pView), view, nullptr);
    if (previous != nullptr) {
        // Another thread mapped it first: keep its view.
        UnmapViewOfFile(view);
        CloseHandle(mapping);
        return static_cast<wchar_t*>(previous);
    }
    m_hMapping = mapping;
    m_nMappedSize = static_cast<int32_t>(kMapBytes);
    return view;
}

void TRV_LogView::Close() {
    if (m_pView != nullptr) {
        UnmapViewOfFile(m_pView);
        m_pView = nullptr;
    }
    if (m_hMapping != nullptr) {
        CloseHandle(m_hMapping);
        m_hMapping = nullptr;
    }
    m_nMappedSize = 0;
}

void TRV_Log::Close() {
    if (m_hEvent != nullptr) {
        CloseHandle(m_hEvent);
        m_hEvent = nullptr;
    }
    m_view.Close();
    if (m_hMutex != nullptr) {
        ReleaseMutex(m_hMutex); // fails harmlessly when this thread does not own it
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
}

HANDLE TRV_Log::Mutex() {
    HANDLE mutex = InterlockedCompareExchangePointer(&m_hMutex, nullptr, nullptr);
    if (mutex != nullptr) {
        return mutex;
    }
    return Publish(&m_hMutex, CreateMutexW(nullptr, FALSE, kMutexName));
}

HANDLE TRV_Log::Event() {
    HANDLE event = InterlockedCompareExchangePointer(&m_hEvent, nullptr, nullptr);
    if (event != nullptr) {
        return event;
    }
    return Publish(&m_hEvent, CreateEventW(nullptr, FALSE, FALSE, kEventName));
}

template <class Char> void TRV_Log::Append(const Char* text) {
    const bool viewerOpen = FindWindowW(nullptr, kViewerTitle) != nullptr;
    const bool lineFeed = HasLineFeed(text);
    const size_t length = Length(text);
    if (!trv::LogPieceFits(length)) {
        return;
    }
    wchar_t* view = m_view.GetView();
    if (view == nullptr) {
        return;
    }
    HANDLE mutex = Mutex();
    const DWORD wait = WaitForSingleObject(mutex, kMutexWaitMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        return;
    }
    trv::LogAppend(view, trv::kLogCapacity, length, [text](size_t i) { return Widen(text[i]); });
    ReleaseMutex(mutex); // taken: a null handle fails the wait
    if (lineFeed && viewerOpen) {
        HANDLE event = Event();
        if (event != nullptr) {
            SetEvent(event);
        }
    }
}

void TRV_Log::Write(const char* text) {
    Append(text);
    RecordLog(text);
}

void TRV_Log::WriteW(const wchar_t* text) {
    Append(text);
    RecordLog(text);
}

int FormatDouble(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = _vsnwprintf_s(buffer, capacity, _TRUNCATE, format, args);
    va_end(args);
    return written;
}

void LogInt(int32_t value) {
    wchar_t text[kNumberChars];
    if (_itow_s(value, text, kNumberChars, 10) == 0) {
        gLog.WriteW(text);
    }
}

void LogUInt(uint32_t value) {
    wchar_t text[kNumberChars];
    if (_ultow_s(value, text, kNumberChars, 10) == 0) {
        gLog.WriteW(text);
    }
}

void LogDouble(double value) {
    wchar_t text[kNumberChars];
    if (FormatDouble(text, kNumberChars, L"%.12g", value) >= 0) {
        gLog.WriteW(text);
    }
}
