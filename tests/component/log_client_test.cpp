#include "infra/trv_log.h"
#include "log_reader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
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
    }
    ~SharedBuffer() {
        UnmapViewOfFile(view);
        CloseHandle(mapping);
    }
    std::wstring Text() const { return std::wstring(view, wcsnlen(view, 5000)); }
    void Set(const std::wstring& text) { wmemcpy(view, text.c_str(), text.size() + 1); }
    HANDLE mapping;
    wchar_t* view;
};

class LogClient : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(shared.view, nullptr);
        shared.Set(L"");
        event = CreateEventW(nullptr, FALSE, FALSE, L"TRV_LOG_EVENTNAME");
        ResetEvent(event);
    }
    void TearDown() override {
        shared.Set(L"");
        CloseHandle(event);
    }
    bool EventSet() { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

    SharedBuffer shared;
    HANDLE event = nullptr;
};

// Holds the log mutex on another thread until released.
class MutexHolder {
  public:
    MutexHolder() {
        thread = std::thread([this] {
            HANDLE m = CreateMutexW(nullptr, FALSE, L"TRV_LOG_MAPLOCKNAME");
            WaitForSingleObject(m, INFINITE);
            held = true;
            while (!release) {
                Sleep(1);
            }
            ReleaseMutex(m);
            CloseHandle(m);
        });
        while (!held) {
            Sleep(1);
        }
    }
    ~MutexHolder() {
        release = true;
        thread.join();
    }

  private:
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    std::thread thread;
};

TEST_F(LogClient, AppendsNarrowAndWidePiecesAsOneLine) {
    TRV_Log log;
    log.Write("TrvCmd: unknown ");
    LogInt(-1); // through gLog, the same buffer
    log.WriteW(L" w\n");
    EXPECT_EQ(shared.Text(), L"TrvCmd: unknown -1 w\n");
}

TEST_F(LogClient, NumbersAsTheLogWritesThem) {
    LogInt(-2147483647 - 1);
    gLog.Write(" ");
    LogUInt(4294967295u);
    gLog.Write(" ");
    LogDouble(0.1);
    gLog.Write(" ");
    LogDouble(1e300);
    gLog.Write(" ");
    LogDouble(1000.0 / 3.0);
    EXPECT_EQ(shared.Text(), L"-2147483648 4294967295 0.1 1e+300 333.333333333");
}

TEST_F(LogClient, FormatDoubleReportsTruncation) {
    wchar_t small[4];
    EXPECT_EQ(FormatDouble(small, 4, L"%.12g", 12345.0), -1);
    wchar_t buf[349];
    EXPECT_EQ(FormatDouble(buf, 349, L"%.12g", 2.5), 3);
    EXPECT_EQ(std::wstring(buf), L"2.5");
}

TEST_F(LogClient, LongestPieceFitsAndOneMoreIsDropped) {
    TRV_Log log;
    const std::string longest(4999, 'a');
    log.Write(longest.c_str());
    EXPECT_EQ(shared.Text().size(), 4999u);
    shared.Set(L"");
    const std::wstring tooLong(5000, L'b');
    log.WriteW(tooLong.c_str());
    EXPECT_EQ(shared.Text(), L"");
}

TEST_F(LogClient, OverlongPieceNeverWaitsForTheMutex) {
    TRV_Log log;
    MutexHolder holder;
    const std::string tooLong(5000, 'c');
    const DWORD start = GetTickCount();
    log.Write(tooLong.c_str());
    // A wait for the mutex would take its full 5000 ms.
    EXPECT_LT(GetTickCount() - start, 2500u);
}

TEST_F(LogClient, MutexHeldTooLongDropsThePiece) {
    TRV_Log log;
    {
        MutexHolder holder;
        log.Write("lost\n");
    }
    EXPECT_EQ(shared.Text(), L"");
    log.Write("kept\n");
    EXPECT_EQ(shared.Text(), L"kept\n");
}

TEST_F(LogClient, ExactFitAndOneTooMany) {
    TRV_Log log;
    const std::wstring prefix(5000 - 1 - 9, L'p');
    shared.Set(prefix);
    log.Write("0123456789");
    EXPECT_EQ(shared.Text(), prefix);
    log.Write("012345678");
    EXPECT_EQ(shared.Text(), prefix + L"012345678");
}

TEST_F(LogClient, EventOnlyForALineWithTheViewerOpen) {
    TRV_Log log;
    log.Write("\n");
    EXPECT_FALSE(EventSet()) << "no viewer window";
    LogReader viewer; // creates the "Tarvello Log" window
    log.Write("no line feed");
    EXPECT_FALSE(EventSet());
    log.Write("\n");
    EXPECT_TRUE(EventSet());
    log.WriteW(L"wide\n");
    EXPECT_TRUE(EventSet());
    // Also when the buffer is full and the piece is dropped.
    shared.Set(std::wstring(4999, L'f'));
    log.Write("dropped\n");
    EXPECT_TRUE(EventSet());
    EXPECT_EQ(shared.Text().size(), 4999u);
}

TEST_F(LogClient, HighBytesWidenOneByOne) {
    TRV_Log log;
    log.Write("\xC3\xA9|\x80");
    const std::wstring text = shared.Text();
    ASSERT_EQ(text.size(), 4u) << "each byte is one code unit, not a UTF-8 sequence";
    EXPECT_EQ(text[0], static_cast<wchar_t>(btowc(static_cast<signed char>('\xC3'))));
    EXPECT_EQ(text[1], static_cast<wchar_t>(btowc(static_cast<signed char>('\xA9'))));
    EXPECT_EQ(text[2], L'|');
    EXPECT_EQ(text[3], static_cast<wchar_t>(btowc(static_cast<signed char>('\x80'))));
    EXPECT_NE(text[0], L'\u00e9');
}

TEST_F(LogClient, WithoutReaderFillsTo4999ThenDrops) {
    TRV_Log log;
    for (int i = 0; i < 1100; ++i) {
        log.Write("12345");
    }
    EXPECT_EQ(shared.Text().size(), 4995u);
    log.Write("123456");
    EXPECT_EQ(shared.Text().size(), 4995u);
    log.Write("1234");
    EXPECT_EQ(shared.Text().size(), 4999u);
    log.Write("1");
    EXPECT_EQ(shared.Text().size(), 4999u);
}

TEST_F(LogClient, FirstUseFromManyThreadsAtOnce) {
    // Fresh clients: every thread races to create the handles of the same object.
    for (int round = 0; round < 20; ++round) {
        shared.Set(L"");
        TRV_Log log;
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

HANDLE StartWriter(const std::wstring& tag, int count, bool pieces = false) {
    std::wstring cmd = L"\"" + OwnFolder() + L"log_writer.exe\" " + tag + L" " +
                       std::to_wstring(count) + (pieces ? L" pieces" : L"");
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// Checks that every line of `tag` arrived whole and in order.
void ExpectAllLines(const std::wstring& text, const std::wstring& tag, int count) {
    std::wistringstream in(text);
    std::wstring line;
    int next = 0;
    while (std::getline(in, line)) {
        if (line.rfind(tag, 0) == 0) {
            ASSERT_EQ(line, tag + std::to_wstring(next)) << "torn or out of order";
            ++next;
        }
    }
    EXPECT_EQ(next, count) << tag;
}

TEST_F(LogClient, TwoProcessesLoseNothingWhileThereIsRoom) {
    // 2 x 300 lines of at most 6 characters stay below 4999 characters.
    const int count = 300;
    HANDLE a = StartWriter(L"A", count);
    HANDLE b = StartWriter(L"B", count);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(WaitForSingleObject(a, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(b, 60000), WAIT_OBJECT_0);
    CloseHandle(a);
    CloseHandle(b);
    const std::wstring text = shared.Text();
    ExpectAllLines(text, L"A", count);
    ExpectAllLines(text, L"B", count);
}

TEST_F(LogClient, TwoProcessesWithReaderDraining) {
    // More than the buffer holds: the reader keeps up, so nothing may be lost.
    const int count = 1500;
    LogReader reader;
    HANDLE a = StartWriter(L"C", count);
    HANDLE b = StartWriter(L"D", count);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::wstring all;
    HANDLE both[2] = {a, b};
    while (WaitForMultipleObjects(2, both, TRUE, 0) == WAIT_TIMEOUT) {
        reader.WaitForLine(5);
        all += reader.Drain();
    }
    all += reader.Drain();
    CloseHandle(a);
    CloseHandle(b);
    ExpectAllLines(all, L"C", count);
    ExpectAllLines(all, L"D", count);
}

// trvlog.exe drains while two processes write lines of three pieces each: every piece arrives
// whole, each writer's pieces in their order, and none is lost while the viewer keeps room.
TEST_F(LogClient, ViewerDrainsTwoWritersPieceByPiece) {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring outPath =
        std::wstring(tmp) + L"trvlog_out_" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION viewer = {};
    std::wstring cmd = L"\"" + OwnFolder() + L"trvlog.exe\"";
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &si, &viewer));
    CloseHandle(out);
    for (int i = 0; i < 2000 && FindWindowW(nullptr, L"Tarvello Log") == nullptr; ++i) {
        Sleep(5);
    }
    ASSERT_NE(FindWindowW(nullptr, L"Tarvello Log"), nullptr) << "the viewer's window";

    const int count = 1000; // 2 x 3 x 1000 pieces: far more than the buffer holds at once
    HANDLE a = StartWriter(L"P", count, true);
    HANDLE b = StartWriter(L"Q", count, true);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(WaitForSingleObject(a, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(b, 60000), WAIT_OBJECT_0);
    // The viewer drains at the last line's event, or within its 250 ms poll.
    for (int i = 0; i < 400 && !shared.Text().empty(); ++i) {
        Sleep(5);
    }
    Sleep(300);
    TerminateProcess(viewer.hProcess, 0);
    WaitForSingleObject(viewer.hProcess, 10000);
    CloseHandle(viewer.hProcess);
    CloseHandle(viewer.hThread);
    CloseHandle(a);
    CloseHandle(b);

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
        const char tag = piece[0];
        const size_t colon = piece.find(':');
        ASSERT_TRUE((tag == 'P' || tag == 'Q') && colon != std::string::npos) << piece;
        const int line = std::atoi(piece.substr(1, colon - 1).c_str());
        const int part = piece[colon + 1] - 'a';
        ASSERT_EQ(line * 3 + part, next[tag]) << "lost or out of order: " << piece;
        ++next[tag];
        at = end + 1;
    }
    EXPECT_EQ(next['P'], 3 * count);
    EXPECT_EQ(next['Q'], 3 * count);
}

} // namespace
