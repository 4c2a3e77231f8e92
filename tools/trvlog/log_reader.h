// Reader side of the shared-memory log, as the host's viewer does it: a window titled
// "Tarvello Log", a wait on the log event, then take the mutex, read and empty the text.
#pragma once

#include <windows.h>

#include <string>

class LogReader {
  public:
    LogReader();
    ~LogReader();
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    bool ok() const { return m_view != nullptr && m_mutex != nullptr && m_event != nullptr; }
    // Waits at most `ms` for the log event while serving the viewer window's messages.
    bool WaitForLine(DWORD ms);
    // Takes the text written since the last call and empties the buffer.
    std::wstring Drain();

  private:
    HWND m_window = nullptr;
    HANDLE m_mapping = nullptr;
    wchar_t* m_view = nullptr;
    HANDLE m_mutex = nullptr;
    HANDLE m_event = nullptr;
};

// UTF-16 to UTF-8 for the console.
std::string ToUtf8(const std::wstring& text);
