// Empties the shared log on a thread of its own as a viewer would, so that a command logging
// more than the buffer holds loses nothing; Take() hands over everything collected in order.
// Safe to call from any thread, also from a callback on the plug-in's camera thread.
#pragma once

#include "log_reader.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <utility>

namespace trvtest {

class LogCollector {
  public:
    explicit LogCollector(LogReader& reader) : m_reader(reader) {
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        // The plug-in sets this event at every line while a viewer window exists.
        m_line = CreateEventW(nullptr, FALSE, FALSE, L"TRV_LOG_EVENTNAME");
        m_thread = CreateThread(nullptr, 0, &Run, this, 0, nullptr);
    }
    ~LogCollector() {
        SetEvent(m_stop);
        if (m_thread != nullptr) {
            WaitForSingleObject(m_thread, 10000);
            CloseHandle(m_thread);
        }
        CloseHandle(m_line);
        CloseHandle(m_stop);
    }
    LogCollector(const LogCollector&) = delete;
    LogCollector& operator=(const LogCollector&) = delete;

    std::string Take() {
        std::lock_guard<std::mutex> g(m_lock);
        m_text += ToUtf8(m_reader.Drain());
        return std::exchange(m_text, std::string());
    }

  private:
    static DWORD WINAPI Run(void* self) {
        auto* c = static_cast<LogCollector*>(self);
        HANDLE waits[2] = {c->m_stop, c->m_line};
        // The timeout covers lines written while no viewer window was found.
        while (WaitForMultipleObjects(2, waits, FALSE, 5) != WAIT_OBJECT_0) {
            std::lock_guard<std::mutex> g(c->m_lock);
            c->m_text += ToUtf8(c->m_reader.Drain());
        }
        return 0;
    }

    LogReader& m_reader;
    std::mutex m_lock;
    std::string m_text;
    HANDLE m_stop = nullptr;
    HANDLE m_line = nullptr;
    HANDLE m_thread = nullptr;
};

} // namespace trvtest
