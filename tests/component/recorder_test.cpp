// The recorder's file at its limits: the size limit ends it with one log line, a file that
// cannot be made leaves recording off, and lines whose pieces two threads write at once are
// recorded whole, per thread.
#include "infra/trv_log.h"
#include "log_reader.h"
#include "record/recorder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring TempFile() {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return std::wstring(tmp) + L"rec" + std::to_wstring(now.QuadPart) + L".jsonl";
}

std::vector<std::string> Lines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string text;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) {
            text += static_cast<char>(c);
        }
        std::fclose(f);
    }
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

// As a JSON string holds it.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return out;
}

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// The limit is reached while this thread is in the middle of a log line: the line that says so
// comes after it, not inside it.
TEST(Recorder, SizeLimitEndsTheFileWithOneLogLine) {
    LogReader reader;
    const std::wstring path = TempFile();
    ASSERT_TRUE(RecordStart(path.c_str(), "test", nullptr, nullptr, 4096, 0));
    reader.Drain();
    gLog.Write("frames ");
    int frames = 0;
    for (; Recording() && frames < 1000; ++frames) {
        RecordFrame(nullptr, 64, 48, 9216);
    }
    gLog.Write("written\n");
    EXPECT_EQ(ToUtf8(reader.Drain()),
              "frames written\nTrvRecord: size limit of 4 KiB reached, recording stopped\n");
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), frames + 4u) << "header, thread, the line naming the file, end";
    size_t bytes = 0;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        bytes += lines[i].size() + 1;
        EXPECT_TRUE(i < 3 || Has(lines[i], "\"no\":" + std::to_string(i - 2) + ",")) << lines[i];
    }
    EXPECT_GE(bytes, 4096u) << "the last record before the end reached the limit";
    EXPECT_LT(bytes - lines[lines.size() - 2].size() - 1, 4096u) << "the one before did not";
    EXPECT_TRUE(Has(lines.back(), "\"k\":\"end\"") && Has(lines.back(), "\"why\":\"cap\"") &&
                Has(lines.back(), "\"bytes\":" + std::to_string(bytes)))
        << lines.back();
    DeleteFileW(path.c_str());
}

TEST(Recorder, FileThatCannotBeMadeLeavesRecordingOff) {
    LogReader reader;
    reader.Drain();
    EXPECT_FALSE(RecordStart(L"Z:\\no\\such\\folder\\r.jsonl", "test", nullptr, nullptr, 4096, 0));
    EXPECT_FALSE(Recording());
    EXPECT_EQ(ToUtf8(reader.Drain()),
              "TrvRecord: cannot create Z:\\no\\such\\folder\\r.jsonl, error 3, not recording\n");
}

TEST(Recorder, PiecesOfTwoThreadsMakeWholeLinesPerThread) {
    LogReader reader;
    reader.Drain();
    const std::wstring path = TempFile();
    ASSERT_TRUE(RecordStart(path.c_str(), "test", nullptr, nullptr, 1 << 20, 0));
    reader.Drain();
    gLog.Write("main ");
    std::thread([] {
        gLog.Write("other ");
        gLog.WriteW(L"\u00e9\n");
    }).join();
    gLog.Write("done\n");
    RecordStop("test");
    EXPECT_EQ(ToUtf8(reader.Drain()), "main other \xc3\xa9\ndone\n");
    std::vector<std::string> logs;
    for (const std::string& l : Lines(path)) {
        if (Has(l, "\"k\":\"log\"")) {
            logs.push_back(l.substr(l.find("\"th\":"), 7) + l.substr(l.find("\"text\":")));
        }
    }
    EXPECT_EQ(logs,
              (std::vector<std::string>{
                  "\"th\":1,\"text\":\"TrvRecord: recording to " + Escaped(ToUtf8(path)) + "\"}",
                  "\"th\":2,\"text\":\"other \\u00e9\"}", "\"th\":1,\"text\":\"main done\"}"}));
    EXPECT_TRUE(Has(Lines(path).back(), "\"why\":\"test\""));
    DeleteFileW(path.c_str());
}

} // namespace
