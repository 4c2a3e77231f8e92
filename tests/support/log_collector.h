// Empties the plug-in's shared log on a thread of its own, as a viewer does, so that code
// logging more than the log holds (4999 characters) loses nothing.
#pragma once

#include "log_reader.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <utility>

namespace trvtest {

class LogCollector {
  public:
    LogCollector() {
        m_reader.Drain();
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        // The plug-in sets this event at every line while a viewer window exists.
        m_line = CreateEventW(nullptr, FALSE, FALSE, L"TRV_LOG_EVENTNAME");
        m_thread = CreateThread(nullptr, 0, &Collect, this, 0, nullptr);
    }
    ~LogCollector() {
        SetEvent(m_stop);
        WaitForSingleObject(m_thread, 10000);
        CloseHandle(m_thread);
        CloseHandle(m_stop);
        CloseHandle(m_line);
    }
    LogCollector(const LogCollector&) = delete;
    LogCollector& operator=(const LogCollector&) = delete;

    // Everything logged since the last call.
    std::string Take() {
        std::lock_guard<std::mutex> g(m_lock);
        m_text += ToUtf8(m_reader.Drain());
        return std::exchange(m_text, std::string());
    }
    // While paused the log's mutex is left to the plug-in alone.
    void Pause(bool paused) {
        std::lock_guard<std::mutex> g(m_lock);
        m_paused = paused;
    }

  private:
    static DWORD WINAPI Collect(void* self) {
        auto* c = static_cast<LogCollector*>(self);
        HANDLE waits[2] = {c->m_stop, c->m_line};
        while (WaitForMultipleObjects(2, waits, FALSE, 5) != WAIT_OBJECT_0) {
            std::lock_guard<std::mutex> g(c->m_lock);
            if (!c->m_paused) {
                c->m_text += ToUtf8(c->m_reader.Drain());
            }
        }
        return 0;
    }

    LogReader m_reader;
    std::mutex m_lock;
    std::string m_text;
    bool m_paused = false;
    HANDLE m_stop = nullptr;
    HANDLE m_line = nullptr;
    HANDLE m_thread = nullptr;
};

} // namespace trvtest
