// The log client against the real kernel objects; the append rule itself is unit-tested.
#include "infra/trv_log.h"
#include "log_reader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// The shared buffer, seen directly: 5000 UTF-16 code units.
struct SharedBuffer {
    SharedBuffer() {
        mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 10000,
                                     L"TRV_LOG_MAPNAME");
        view = static_cast<wchar_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        Set(L"");
    }
    ~SharedBuffer() {
        Set(L"");
        UnmapViewOfFile(view);
        CloseHandle(mapping);
    }
    std::wstring Text() const { return std::wstring(view, wcsnlen(view, 5000)); }
    void Set(const std::wstring& text) { wmemcpy(view, text.c_str(), text.size() + 1); }
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
        shared.Set(L"");
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
    shared.Set(L"");
    log.Write("lost\n");
    state = 2;
    holder.join();
    log.Write("kept\n");
    EXPECT_EQ(shared.Text(), L"kept\n");
    CloseHandle(event);
}

TEST(LogClient, FirstUseFromManyThreadsAtOnce) {
    SharedBuffer shared;
    for (int round = 0; round < 20; ++round) {
        shared.Set(L"");
        TRV_Log log; // fresh: every thread races to open the same objects
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                while (!go) {
                }
                log.Write("ab\n");
            });
        }
        go = true;
        for (auto& t : threads) {
            t.join();
        }
        ASSERT_EQ(shared.Text(), L"ab\nab\nab\nab\n") << "round " << round;
    }
}

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s = path;
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

HANDLE Start(const std::wstring& command, HANDLE out = nullptr) {
    std::wstring cmd = L"\"" + OwnFolder() + command;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = out != nullptr ? STARTF_USESTDHANDLES : 0;
    si.hStdOutput = si.hStdError = out;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, out != nullptr, 0, nullptr, nullptr,
                        &si, &pi)) {
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// trvlog.exe drains while two processes write lines of three pieces each: every piece arrives
// whole, each writer's pieces in their order, none lost.
TEST(LogClient, ViewerDrainsTwoWritersPieceByPiece) {
    SharedBuffer shared;
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring outPath =
        std::wstring(tmp) + L"trvlog_out_" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    HANDLE viewer = Start(L"trvlog.exe\"", out);
    CloseHandle(out);
    ASSERT_NE(viewer, nullptr);
    for (int i = 0; i < 2000 && FindWindowW(nullptr, L"Tarvello Log") == nullptr; ++i) {
        Sleep(5);
    }
    ASSERT_NE(FindWindowW(nullptr, L"Tarvello Log"), nullptr) << "the viewer's window";
    const int count = 1000; // 2 x 3 x 1000 pieces: far more than the buffer holds at once
    HANDLE writers[2] = {Start(L"log_writer.exe\" P 1000"), Start(L"log_writer.exe\" Q 1000")};
    ASSERT_TRUE(writers[0] != nullptr && writers[1] != nullptr);
    EXPECT_EQ(WaitForMultipleObjects(2, writers, TRUE, 60000), WAIT_OBJECT_0);
    // The viewer drains at the last line's event, or within its 250 ms poll.
    for (int i = 0; i < 2000 && !shared.Text().empty(); ++i) {
        Sleep(5);
    }
    Sleep(300); // its console write after the drain
    TerminateProcess(viewer, 0);
    WaitForSingleObject(viewer, 10000);
    for (HANDLE h : {viewer, writers[0], writers[1]}) {
        CloseHandle(h);
    }
    std::string text;
    FILE* f = _wfopen(outPath.c_str(), L"rb");
    ASSERT_NE(f, nullptr);
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
        text.append(chunk, n);
    }
    std::fclose(f);
    DeleteFileW(outPath.c_str());
    std::map<char, int> next; // per writer: the index of the next piece, 3 per line
    size_t at = 0;
    while ((at = text.find_first_not_of("\r\n", at)) != std::string::npos) {
        ASSERT_EQ(text[at], '[') << "a torn piece at " << at << ": " << text.substr(at, 40);
        const size_t end = text.find(']', at);
        ASSERT_NE(end, std::string::npos);
        const std::string piece = text.substr(at + 1, end - at - 1); // "P12:b"
        const size_t colon = piece.find(':');
        ASSERT_TRUE((piece[0] == 'P' || piece[0] == 'Q') && colon != std::string::npos) << piece;
        const int line = std::atoi(piece.substr(1, colon - 1).c_str());
        ASSERT_EQ(line * 3 + piece[colon + 1] - 'a', next[piece[0]]) << "lost or out of order";
        ++next[piece[0]];
        at = end + 1;
    }
    EXPECT_EQ(next['P'], 3 * count);
    EXPECT_EQ(next['Q'], 3 * count);
}

} // namespace
