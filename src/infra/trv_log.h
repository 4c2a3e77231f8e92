// Client of the shared-memory log that the host's viewer displays.
#pragma once

#include <windows.h>

#include <cstdint>

// Mapping, view and mapped size of the "TRV_LOG_MAPNAME" section.
class TRV_LogView {
  public:
    constexpr TRV_LogView() : m_hMapping(nullptr), m_pView(nullptr), m_nMappedSize(0) {}
    wchar_t* GetView();
    void Close();

  private:
    HANDLE m_hMapping;
    wchar_t* m_pView;
    int32_t m_nMappedSize;
};

// Write is virtual slot 0 and WriteW slot 1: no virtual destructor may come ahead of them.
// Final, and never deleted through a pointer.
class TRV_Log final {
  public:
    constexpr TRV_Log() : m_hMutex(nullptr), m_view(), m_hEvent(nullptr) {}
    TRV_Log(const TRV_Log&) = delete;
    TRV_Log& operator=(const TRV_Log&) = delete;

    // Slot 0: narrow text, each byte widened on its own.
    virtual void Write(const char* text);
    // Slot 1: wide text.
    virtual void WriteW(const wchar_t* text);
    // Closes every handle. No destructor does it: at process exit nothing is released (other
    // threads may be gone inside a lock); the library calls this when it is unloaded.
    void Close();

  private:
    template <class Char> void Append(const Char* text);
    HANDLE Mutex();
    HANDLE Event();

    HANDLE m_hMutex;
    TRV_LogView m_view;
    HANDLE m_hEvent;
};

// Constant-initialised: usable before any other code of the library runs.
extern constinit TRV_Log gLog;

// The C runtime's bounded wide formatted print; -1 on truncation or a format error.
int FormatDouble(wchar_t* buffer, size_t capacity, const wchar_t* format, ...);

// Numbers in log lines: decimal integers, doubles with "%.12g", written as wide text.
void LogInt(int32_t value);
void LogUInt(uint32_t value);
void LogDouble(double value);
