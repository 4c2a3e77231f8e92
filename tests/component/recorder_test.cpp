// The recorder at its limits: where the file goes and what is not used, the size limit and a
// write that fails ending it with one log line, lines whose pieces two threads write at once
// recorded whole per thread, and the camera calls in forms the plug-in does not make.
#include "host_settings.h"
#include "infra/globals.h"
#include "infra/trv_log.h"
#include "log_reader.h"
#include "record/recorder.h"
#include "recording_check.h"
#include "sim_journal.h"
#include "ueye/ueye_api.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <functional>
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

// TRV_RECORD is read at the first command; "RecordFile" of the section a full start brings at
// each start while nothing records. A name without a folder goes beside the settings file, a
// file that is there is kept; a name that does not fit, or a folder that is not there, is not
// used.
TEST(Recorder, FileChosenAtTheFirstCommandAndAtAFullStart) {
    trvtest::HostSettings settings;
    LogReader reader;
    reader.Drain();
    SetEnvironmentVariableW(L"TRV_RECORD", std::wstring(1024, L'x').c_str());
    RecordCommand(_TRV_DSHOW_CMD_LOAD, 0);
    EXPECT_EQ(ToUtf8(reader.Drain()), "TrvRecord: TRV_RECORD too long, not recording\n");
    const std::wstring here = settings.base + L"\\Tarvello\\Settings\\",
                       dotted = settings.base + L"\\d.x";
    CreateDirectoryW(dotted.c_str(), nullptr);
    settings.Set(L"RecordMaxMB", L"0", L"cam2"); // the default, 256 MiB
    const std::wstring missing = L"Z:\\no\\such\\folder\\r.jsonl";
    struct Case {
        std::wstring value, file; // the key, the file recorded (none: the log line)
        std::string log;
    };
    const Case cases[] = {
        {{}, {}, ""},
        {L"rec.jsonl", here + L"rec.jsonl", ""},
        {L"rec.jsonl", here + L"rec.1.jsonl", ""},
        {dotted + L"\\rec", dotted + L"\\rec", ""},
        {dotted + L"\\rec", dotted + L"\\rec.1", ""},
        {std::wstring(1000, L'n'), {}, "TrvRecord: RecordFile path too long, not recording\n"},
        {missing, {}, "TrvRecord: cannot create " + ToUtf8(missing) + ", error 3, not recording\n"},
    };
    gFrameCallback = nullptr; // so each start is a full one
    for (const Case& c : cases) {
        settings.Set(L"RecordFile", c.value.c_str(), L"cam2");
        TrvStartParams start = {};
        start.pszSection = L"cam2";
        RecordCommand(_TRV_DSHOW_CMD_START, reinterpret_cast<intptr_t>(&start));
        RecordStop("test");
        if (c.file.empty()) {
            EXPECT_EQ(ToUtf8(reader.Drain()), c.log) << ToUtf8(c.value);
            continue;
        }
        EXPECT_EQ(ToUtf8(reader.Drain()), "TrvRecord: recording to " + ToUtf8(c.file) + "\n");
        const std::string file = Escaped(ToUtf8(c.file));
        const std::vector<std::string> lines = Lines(c.file);
        ASSERT_EQ(lines.size(), 5u) << "header, thread, the recorder's line, the start, end";
        EXPECT_TRUE(Has(lines[0], "\"chosenBy\":\"RecordFile\",\"settingsFile\":\"" +
                                      Escaped(ToUtf8(settings.File())) +
                                      "\",\"section\":\"cam2\",\"file\":\"" + file +
                                      "\",\"maxBytes\":268435456,\"thumbEvery\":30,"))
            << lines[0];
        EXPECT_TRUE(Has(lines[3], "\"k\":\"cmd\"") && Has(lines[3], "\"section\":\"cam2\"}"));
    }
    for (const Case& c : cases) { // closed: the integrator can send them while the host runs
        EXPECT_TRUE(c.file.empty() || DeleteFileW(c.file.c_str())) << GetLastError();
    }
    RemoveDirectoryW(dotted.c_str());
}

// Reached in the middle of a log line, the limit's line comes when that line ends; each limit
// in the unit it was given in. Frames 1, 3, 5, ... get a thumbnail, if they have pixels.
TEST(Recorder, SizeLimitEndsTheFileWithOneLogLine) {
    LogReader reader;
    std::vector<unsigned char> picture(16 * 12 * 3, 0x80);
    for (const auto& [limit, pixels, unit] :
         {std::tuple(uint64_t{4096}, static_cast<const unsigned char*>(nullptr), "4 KiB"),
          std::tuple(uint64_t{1} << 20, static_cast<const unsigned char*>(picture.data()),
                     "1 MiB")}) {
        const std::wstring path = TempFile();
        ASSERT_TRUE(RecordStart(path.c_str(), "test", nullptr, nullptr, limit, 2));
        reader.Drain();
        gLog.Write("frames ");
        int frames = 0;
        for (; Recording() && frames < 2000; ++frames) {
            RecordFrame(pixels, 16, 12, 576);
        }
        gLog.Write("writ");
        gLog.Write("ten\n");
        EXPECT_EQ(ToUtf8(reader.Drain()), std::string("frames written\nTrvRecord: size limit of ") +
                                              unit + " reached, recording stopped\n");
        const std::vector<std::string> lines = Lines(path);
        ASSERT_EQ(lines.size(), frames + 4u) << "header, thread, the line naming the file, end";
        size_t bytes = 0;
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            bytes += lines[i].size() + 1;
            EXPECT_TRUE(i < 3 || (Has(lines[i], "\"no\":" + std::to_string(i - 2) + ",") &&
                                  Has(lines[i], "thumb") == (pixels != nullptr && i % 2 == 1)))
                << lines[i];
        }
        EXPECT_GE(bytes, limit) << "the last record before the end reached the limit";
        EXPECT_LT(bytes - lines[lines.size() - 2].size() - 1, limit) << "the one before did not";
        EXPECT_TRUE(Has(lines.back(), "\"k\":\"end\"") && Has(lines.back(), "\"why\":\"cap\"") &&
                    Has(lines.back(), "\"bytes\":" + std::to_string(bytes)))
            << lines.back();
        DeleteFileW(path.c_str());
    }
}

// A recording whose reader goes away (a pipe here; a full disk or a lost share elsewhere) ends
// at the first record that cannot be written, with one log line.
TEST(Recorder, WriteThatFailsEndsTheRecording) {
    LogReader reader;
    const std::wstring pipe = L"\\\\.\\pipe\\trvrec" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 65536,
                                     65536, 0, nullptr);
    ASSERT_TRUE(RecordStart(pipe.c_str(), "test", nullptr, nullptr, 1 << 20, 0));
    CloseHandle(server);
    reader.Drain();
    RecordFrame(nullptr, 16, 12, 576);
    EXPECT_FALSE(Recording());
    EXPECT_EQ(ToUtf8(reader.Drain()),
              "TrvRecord: cannot write the recording, error 232, recording stopped\n");
}

TEST(Recorder, PiecesOfTwoThreadsMakeWholeLinesPerThread) {
    LogReader reader;
    reader.Drain();
    const std::wstring path = TempFile(), other = TempFile();
    ASSERT_TRUE(RecordStart(path.c_str(), "test", nullptr, nullptr, 1 << 20, 0));
    EXPECT_TRUE(RecordStart(other.c_str(), "test", nullptr, nullptr, 1 << 20, 0)) << "it runs";
    EXPECT_EQ(GetFileAttributesW(other.c_str()), INVALID_FILE_ATTRIBUTES);
    reader.Drain();
    gLog.Write("main ");
    std::thread([] {
        gLog.Write("other ");
        gLog.Write(std::string(5000, 'x').c_str()); // dropped by the log, and here too
        gLog.WriteW(L"\u00e9\n");
    }).join();
    gLog.WriteW(std::wstring(5000, L'x').c_str());
    gLog.Write("done\n");
    const std::string longLine(3000, 'c');
    gLog.Write(longLine.c_str());
    gLog.Write("\n");
    RecordStop("test");
    EXPECT_EQ(ToUtf8(reader.Drain()),
              "main other \xc3\xa9\ndone\n" + std::string(3000, 'c') + "\n");
    std::vector<std::string> logs;
    for (const std::string& l : Lines(path)) {
        if (Has(l, "\"k\":\"log\"")) {
            logs.push_back(l.substr(l.find("\"th\":"), 7) + l.substr(l.find("\"text\":")));
        }
    }
    EXPECT_EQ(logs,
              (std::vector<std::string>{
                  "\"th\":1,\"text\":\"TrvRecord: recording to " + Escaped(ToUtf8(path)) + "\"}",
                  "\"th\":2,\"text\":\"other \\u00e9\"}", "\"th\":1,\"text\":\"main done\"}",
                  "\"th\":1,\"text\":\"" + std::string(2048, 'c') + "\",\"cut\":true}"}));
    EXPECT_TRUE(Has(Lines(path).back(), "\"why\":\"test\""));
    DeleteFileW(path.c_str());
}

// The calls in forms the plug-in does not make: null out pointers, a buffer longer than the
// recorder keeps of it or of an odd size, a read answered without data, a recording that ends
// while a call runs. No camera is open, so the library touches none of the pointers.
TEST(Recorder, CallsInTheirRarerForms) {
    sim_reset();
    ASSERT_EQ(sim_cue("is_CameraCount = 1; is_CameraMemory:4 = 0"), 0);
    const std::wstring file = TempFile();
    ASSERT_TRUE(RecordStart(file.c_str(), "test", nullptr, nullptr, 1 << 20, 0));
    double d = 0;
    int32_t words[17];
    std::string in = "[0", out;
    for (int32_t i = 0; i < 17; ++i) {
        words[i] = i;
        (i < 16 ? in : out) += i == 0 ? "" : "," + std::to_string(i);
    }
    out = in + out + "]";
    in += "]";
    UeyeMemoryRead noBuffer = {0, 8, {}, 0};
    const std::pair<std::function<UeyeStatus()>, std::string> cases[] = {
        {[] { return is_CameraCount(nullptr); }, "\"r\":1,\"out\":{\"pnNumCams\":null}"},
        {[] { return is_InitRetryQuery(7, 4, nullptr); },
         "\"pnValue\":0},\"r\":0,\"out\":{\"pnValue\":0}"},
        {[] { return is_SensorInfo(7, nullptr); }, "\"r\":1,\"out\":{}"},
        {[] { return is_ImageMemAlloc(7, 4, 4, 24, nullptr, nullptr); },
         "\"out\":{\"ppcMem\":null,\"pnMemId\":0}"},
        {[] { return is_FrameRate(7, 5.0, nullptr); }, "\"out\":{\"pdNewFps\":null}"},
        {[&] { return is_FrameTimeRange(7, &d, nullptr, &d); },
         "\"out\":{\"pdMin\":0,\"pdMax\":null,\"pdIntervall\":0}"},
        {[] { return is_AOI(7, 2, nullptr, 16); },
         "\"pParam\":null},\"r\":1,\"out\":{\"pParam\":null}"},
        {[&] { return is_AOI(7, 1, words, sizeof words); },
         "\"pParam\":" + in + "},\"r\":1,\"out\":{\"pParam\":" + out + "}"},
        {[&] { return is_AOI(7, 1, words, 6); },
         "\"pParam\":[0]},\"r\":1,\"out\":{\"pParam\":[0]}"},
        {[&] { return is_CaptureStatus(7, 2, words, 16); }, "\"r\":1,\"out\":{}"},
        {[&] { return is_CameraMemory(7, 4, &noBuffer, sizeof noBuffer); },
         "\"nBufferAddress\":null},\"r\":0,\"out\":{}"},
        {[&] { return is_CameraMemory(7, 4, &noBuffer, 8); }, "\"nSize\":8,\"pParam\":[0,8]}"},
        {[] { return is_CameraMemory(7, 4, nullptr, 24); },
         "\"pParam\":null},\"r\":1,\"out\":{\"pParam\":null}"},
    };
    for (const auto& [call, record] : cases) {
        call();
    }
    // Ended while the last call runs: the call answers, and its record is not written.
    sim_cue_callback(
        "is_CameraExit", [](void*) { RecordStop("test"); }, nullptr);
    EXPECT_EQ(is_CameraExit(7), 1);
    std::vector<std::string> journal = trvtest::Journal(), calls;
    journal.pop_back();
    EXPECT_EQ(trvtest::CheckRecording(file, journal, {}, &calls), "") << ToUtf8(file);
    ASSERT_EQ(calls.size(), std::size(cases));
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_TRUE(Has(calls[i], cases[i].second)) << calls[i];
    }
}

} // namespace
