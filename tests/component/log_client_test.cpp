// The log client against the real kernel objects, and its object's slots; the append rule
// itself is unit-tested.
#include "infra/trv_log.h"
#include "log_reader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

// The shared buffer, seen directly: 5000 UTF-16 code units.
struct SharedBuffer {
    SharedBuffer() {
        mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 10000,
                                     L"TRV_LOG_MAPNAME");
        view = static_cast<wchar_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        Clear();
    }
    ~SharedBuffer() {
        Clear();
        UnmapViewOfFile(view);
        CloseHandle(mapping);
    }
    std::wstring Text() const { return std::wstring(view, wcsnlen(view, 5000)); }
    void Set(const std::wstring& text) { wmemcpy(view, text.c_str(), text.size() + 1); }
    void Clear() { view[0] = L'\0'; }
    HANDLE mapping;
    wchar_t* view;
};

bool EventSet(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

TEST(LogClient, PiecesNumbersEventsAndTheMutex) {
    SharedBuffer shared;
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, L"TRV_LOG_EVENTNAME");
    ResetEvent(event);
    TRV_Log log;
    log.Write("TrvCmd: unknown ");
    LogInt(-2147483647 - 1); // through gLog, the same buffer
    log.WriteW(L" ");
    LogUInt(4294967295u);
    for (double d : {0.1, 1e300, 1000.0 / 3.0}) {
        log.Write(" ");
        LogDouble(d);
    }
    log.Write(" \xC3\xA9\n"); // each byte one code unit, not a UTF-8 sequence
    const std::wstring high = {static_cast<wchar_t>(btowc(-61)), static_cast<wchar_t>(btowc(-87))};
    EXPECT_EQ(shared.Text(),
              L"TrvCmd: unknown -2147483648 4294967295 0.1 1e+300 333.333333333 " + high + L"\n");
    EXPECT_FALSE(EventSet(event)) << "no viewer window";
    shared.Set(std::wstring(5000 - 1 - 9, L'p'));
    log.Write("0123456789");
    log.Write("012345678");
    EXPECT_EQ(shared.Text(), std::wstring(4990, L'p') + L"012345678") << "4999 characters at most";
    {
        LogReader viewer; // creates the "Tarvello Log" window
        log.Write("no line feed");
        EXPECT_FALSE(EventSet(event));
        log.Write("dropped\n");
        EXPECT_TRUE(EventSet(event)) << "also when the piece was dropped";
        shared.Clear();
        log.WriteW(L"wide\n");
        EXPECT_TRUE(EventSet(event));
    }
    // A mutex held elsewhere: a line piece waits and is dropped, an overlong one never waits.
    std::atomic<int> state{0};
    std::thread holder([&] {
        HANDLE m = CreateMutexW(nullptr, FALSE, L"TRV_LOG_MAPLOCKNAME");
        WaitForSingleObject(m, INFINITE);
        state = 1;
        while (state != 2) {
            Sleep(1);
        }
        ReleaseMutex(m);
        CloseHandle(m);
    });
    while (state != 1) {
        Sleep(1);
    }
    const DWORD start = GetTickCount();
    log.Write(std::string(5000, 'c').c_str());
    EXPECT_LT(GetTickCount() - start, 2500u) << "a wait for the mutex takes 5000 ms";
    shared.Clear();
    log.Write("lost\n");
    state = 2;
    holder.join();
    log.Write("kept\n");
    EXPECT_EQ(shared.Text(), L"kept\n");
    CloseHandle(event);
}

// Objects of another kind under the log's names, as another program may make them: nothing is
// written and nothing waits; each handle is tried again at the next piece; a closed log opens
// anew.
TEST(LogClient, NamesTakenByObjectsOfAnotherKind) {
    TRV_Log log;
    log.Close(); // nothing opened yet: nothing to close
    const auto taken = [&log](HANDLE other, const wchar_t* text) {
        log.WriteW(text);
        CloseHandle(other);
    };
    taken(CreateMutexW(nullptr, FALSE, L"TRV_LOG_MAPNAME"), L"no section\n");
    taken(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 100,
                             L"TRV_LOG_MAPNAME"),
          L"a section too small\n");
    SharedBuffer shared;
    taken(CreateEventW(nullptr, FALSE, FALSE, L"TRV_LOG_MAPLOCKNAME"), L"no mutex\n");
    HWND viewer = CreateWindowExW(0, L"STATIC", L"Tarvello Log", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr);
    taken(CreateMutexW(nullptr, FALSE, L"TRV_LOG_EVENTNAME"), L"no event\n");
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, L"TRV_LOG_EVENTNAME");
    log.Close();
    log.Write("opened again\n");
    EXPECT_TRUE(EventSet(event));
    EXPECT_EQ(shared.Text(), L"no event\nopened again\n");
    log.Close();
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"TRV_LOG_MAPLOCKNAME");
    EXPECT_EQ(mutex, nullptr) << "a closed log keeps no handle of its mutex";
    CloseHandle(mutex);
    DestroyWindow(viewer);
    CloseHandle(event);
}

TEST(LogObject, WriteIsSlotZeroAndWriteWSlotOne) {
    LogReader log;
    log.Drain();
    TRV_Log local;
    void** slots = *reinterpret_cast<void***>(&local);
    reinterpret_cast<void (*)(TRV_Log*, const char*)>(slots[0])(&local, "slot 0, ");
    reinterpret_cast<void (*)(TRV_Log*, const wchar_t*)>(slots[1])(&local, L"slot 1\n");
    EXPECT_EQ(ToUtf8(log.Drain()), "slot 0, slot 1\n");
}

} // namespace
