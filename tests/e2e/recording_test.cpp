// Recording a session through the real export, against the simulator: the file beside the
// simulator's journal, the commands as the host saw them and the log as the viewer read it; a
// recording chosen by the settings key; and with recording off, no file and no recorder line.
#include "e2e_host.h"
#include "host_settings.h"
#include "sim_journal.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::json;
using trvtest::Has;

std::string ReadFile(const std::wstring& path) {
    std::string text;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) {
            text.append(buf, n);
        }
        std::fclose(f);
    }
    return text;
}

// Every whole line of the file, parsed: a line that is not JSON fails the test.
std::vector<Json> ReadRecording(const std::wstring& path) {
    const std::string text = ReadFile(path);
    std::vector<Json> records;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        records.push_back(Json::parse(text.substr(at, end - at)));
    }
    return records;
}

// Whether `text` is made of the characters of `a` and `b`, each kept in its order: two threads'
// lines as the viewer reads them, their pieces falling between each other.
bool Interleaves(const std::string& a, const std::string& b, const std::string& text) {
    if (a.size() + b.size() != text.size()) {
        return false;
    }
    std::vector<char> row(b.size() + 1); // row[j]: a[0..i) and b[0..j) make text[0..i+j)
    for (size_t i = 0; i <= a.size(); ++i) {
        for (size_t j = 0; j <= b.size(); ++j) {
            const char c = i + j == 0 ? 0 : text[i + j - 1];
            row[j] = (i == 0 && j == 0) || (i > 0 && row[j] && a[i - 1] == c) ||
                     (j > 0 && row[j - 1] && b[j - 1] == c);
        }
    }
    return row[b.size()];
}

std::atomic<int> gErrorCalls{0};
void OnError() {
    ++gErrorCalls;
}

class Recording : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_fps(50);
        const SimCamera c = sim_camera("REC-0001", 1, 2, 64, 48);
        sim_add_camera(&c);
    }
    int32_t Cmd(int32_t code, intptr_t param = 0) {
        const int32_t r = host.Cmd(code, param);
        sent.push_back({code, r});
        return r;
    }
    template <class Block> int32_t Cmd(int32_t code, Block* block) {
        return Cmd(code, reinterpret_cast<intptr_t>(block));
    }
    trvtest::HostSettings settings;
    trvtest::PluginHost host;
    std::vector<std::pair<int32_t, int32_t>> sent; // code, answer
};

TEST_F(Recording, SessionAgainstTheSimulator) {
    const std::wstring file = settings.base + L"\\session.jsonl";
    SetEnvironmentVariableW(L"TRV_RECORD", file.c_str());
    settings.Set(L"RecordThumbEvery", L"2");
    const std::string lens = "01020304050607080910";
    ASSERT_EQ(sim_configure(0, "user_memory", lens.c_str()), 0);

    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_LOAD), 1);
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_OPEN), 1);
    TrvStartParams start = trvtest::StartBlock(settings.configDir, &OnError);
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_START, &start), 1);
    ASSERT_TRUE(trvtest::MoreFrames(3));
    TrvAoiParams aoi = {1, 8, 4, 0, 32, 24};
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_AOI, &aoi), 1);
    aoi = {2, 0, 0, 0, 0, 0};
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_AOI, &aoi), 1);
    ASSERT_TRUE(trvtest::MoreFrames(3));
    TrvTimingParams timing = {};
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_GET_TIMING, &timing), 1);
    TrvPraxCamResParams res = {};
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_PRAX_CAM_RES, &res), 0);
    EXPECT_EQ(Cmd(99), 0);
    ASSERT_EQ(sim_post_event(0, 3, 5, 0xA2, 3), 0);
    ASSERT_TRUE(trvtest::WaitFor([] { return gErrorCalls == 1; }));
    trvtest::gFrames.nullAllowed = true;
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_STOP), 1);
    // The viewer first: a line is in the log before its record is written. Frame events
    // handled after the stop log nothing but slow-frame lines, which both sides leave out.
    const std::string viewer = host.TakeLog();
    std::vector<Json> rec = ReadRecording(file);

    ASSERT_GT(rec.size(), 10u);
    EXPECT_EQ(rec[0]["k"], "header");
    EXPECT_EQ(rec[0]["format"], 1);
    EXPECT_EQ(rec[0]["chosenBy"], "TRV_RECORD");
    EXPECT_EQ(rec[0]["file"], ToUtf8(file));
    EXPECT_EQ(rec[0]["thumbEvery"], 2);
    std::map<int, std::string> roles;
    std::vector<std::pair<int32_t, int32_t>> commands;
    std::vector<std::string> calls, hostLines, cameraLines;
    int frames = 0;
    int32_t pending = -1;
    for (size_t i = 1; i < rec.size(); ++i) {
        Json r = rec[i]; // a copy: a missing field reads as null
        ASSERT_EQ(r["n"], i) << r;
        const std::string k = r["k"];
        const int th = r["th"];
        if (k == "thread") {
            roles[th] = r["role"];
        } else if (k == "cmd") {
            EXPECT_EQ(pending, -1) << "commands never overlap";
            pending = r["code"];
        } else if (k == "ret") {
            EXPECT_EQ(r["code"], pending);
            commands.push_back({pending, r["r"]});
            pending = -1;
        } else if (k == "call") {
            calls.push_back(r["fn"].get<std::string>() + " -> " +
                            std::to_string(r["r"].get<int>()));
        } else if (k == "log") {
            const std::string text = r["text"];
            if (text.rfind("***** UEYECAM IS_UEYE_MESSAGE", 0) != 0) { // as TakeLog leaves them out
                (roles[th] == "camera" ? cameraLines : hostLines).push_back(text + "\n");
            }
        } else if (k == "frame" &&
                   ++frames == 1) { // the colour bars at the top, bar k in cells 2k, 2k+1
            const char* bars[8] = {"ffffff", "00ffff", "ffff00", "00ff00",
                                   "ff00ff", "0000ff", "ff0000", "000000"};
            const std::string thumb = r["thumb"];
            for (int cell = 1; cell < 16; ++cell) { // cell 0 holds the frame number
                EXPECT_EQ(thumb.substr(cell * 6, 6), bars[cell / 2]) << cell;
            }
            EXPECT_EQ(r["size"], 64 * 48 * 3);
        } else if (k == "frame") {
            EXPECT_EQ(r.contains("thumb"), r["no"].get<int>() % 2 == 1) << r;
        }
    }
    EXPECT_EQ(roles, (std::map<int, std::string>{{1, "host"}, {2, "camera"}}));
    EXPECT_EQ(commands, sent);
    EXPECT_GE(frames, 6);

    // Every call the simulator answered, in its order, with its result.
    std::vector<std::string> journal;
    for (const std::string& line : trvtest::Journal()) {
        journal.push_back(line.substr(0, line.find(' ')) + " -> " +
                          std::to_string(std::atoi(line.c_str() + line.find("-> ") + 3)));
    }
    EXPECT_EQ(calls, journal);

    // Whole lines per thread; in the viewer their pieces may alternate.
    std::string hostText, cameraText;
    for (const std::string& l : hostLines) {
        hostText += l;
    }
    for (const std::string& l : cameraLines) {
        cameraText += l;
    }
    EXPECT_EQ(hostLines.front(), "TrvRecord: recording to " + ToUtf8(file) + "\n");
    EXPECT_TRUE(Interleaves(hostText, cameraText, viewer)) << viewer;

    // What went in and came back, decoded.
    auto find = [&](auto match) {
        for (Json r : rec) { // copies: a missing field reads as null
            if (match(r)) {
                return r;
            }
        }
        return Json();
    };
    Json set = find([](Json& r) { return r["fn"] == "is_AOI" && r["in"]["nCommand"] == 1; });
    EXPECT_EQ(set["in"]["pParam"], Json({8, 4, 32, 24}));
    Json range = find([](Json& r) { return r["fn"] == "is_Exposure" && r["in"]["nCommand"] == 6; });
    EXPECT_EQ(range["in"]["pParam"], Json({0, 0, 0})) << "as it went in";
    EXPECT_GT(range["out"]["pParam"][1], 0) << "as it came back";
    Json list = find([](Json& r) { return r["fn"] == "is_CameraList"; });
    EXPECT_EQ(list["out"]["entries"][0]["szSerNo"], "REC-0001");
    Json memory =
        find([](Json& r) { return r["fn"] == "is_CameraMemory" && r["in"]["nCommand"] == 4; });
    EXPECT_EQ(memory["out"]["data"], lens);
    Json status =
        find([](Json& r) { return r["fn"] == "is_CaptureStatus" && r["in"]["nCommand"] == 2; });
    EXPECT_EQ(status["out"]["nTotal"], 5);
    EXPECT_EQ(status["out"]["anCount"], Json::parse("[[162, 3]]"));
    EXPECT_EQ(find([](Json& r) { return r["k"] == "ev" && r["code"] == 3; })["cam"], 1);
    Json got = find([](Json& r) { return r["k"] == "ret" && r["code"] == 46; });
    EXPECT_EQ(got["out"]["dFrameRate"], timing.dFrameRate);
    EXPECT_EQ(got["out"]["dExposure"], timing.dExposure);
    Json read =
        find([](Json& r) { return r["k"] == "ret" && r["code"] == 45 && r["out"]["x"] == 8; });
    EXPECT_EQ(read["out"], Json::parse(R"({"x":8,"y":4,"width":32,"height":24})"));
    DeleteFileW(file.c_str());
}

// With neither the variable nor the key naming a file nothing is recorded.
TEST_F(Recording, OffWritesNothing) {
    SetEnvironmentVariableW(L"TRV_RECORD", L"");
    settings.Set(L"RecordFile", L"");
    TrvStartParams start = trvtest::StartBlock(settings.configDir);
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_START, &start), 1);
    ASSERT_TRUE(trvtest::MoreFrames(2));
    trvtest::gFrames.nullAllowed = true;
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_STOP), 1);
    const std::string log = host.TakeLog();
    EXPECT_TRUE(Has(log, "TrvCmd: _TRV_DSHOW_CMD_STOP\n")) << log;
    EXPECT_FALSE(Has(log, "TrvRecord")) << log;
    WIN32_FIND_DATAW found;
    for (const std::wstring& folder :
         {settings.base, settings.base + L"\\Tarvello", settings.base + L"\\Tarvello\\Settings"}) {
        HANDLE h = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        do {
            const std::wstring name = found.cFileName;
            EXPECT_TRUE(name == L"." || name == L".." || name == L"Tarvello" ||
                        name == L"Settings" || name == L"Tarvello.ini")
                << ToUtf8(name);
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
}

// The key in the section the start brings; a name without a folder goes beside the settings
// file, and a file that is there already is kept.
TEST_F(Recording, KeyInTheStartSectionAndAnExistingFileKept) {
    const std::wstring folder = settings.base + L"\\Tarvello\\Settings\\";
    settings.Set(L"RecordFile", L"support.jsonl", L"cam2");
    settings.WriteConfigFile(L"Tarvello\\Settings\\support.jsonl", "an earlier session\n");
    TrvStartParams start = trvtest::StartBlock(settings.configDir);
    start.pszSection = L"cam2";
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_START, &start), 1);
    EXPECT_EQ(Cmd(_TRV_DSHOW_CMD_STOP), 1);
    const std::string log = host.TakeLog();
    const std::wstring file = folder + L"support.1.jsonl";
    EXPECT_EQ(log.find("TrvRecord: recording to " + ToUtf8(file) +
                       "\n"
                       "**** TrvCmd: _TRV_DSHOW_CMD_START date="),
              0u)
        << log;
    EXPECT_EQ(ReadFile(folder + L"support.jsonl"), "an earlier session\n");
    std::vector<Json> rec = ReadRecording(file);
    ASSERT_GT(rec.size(), 4u);
    EXPECT_EQ(rec[0]["chosenBy"], "RecordFile");
    EXPECT_EQ(rec[0]["section"], "cam2");
    EXPECT_EQ(rec[0]["settingsFile"], ToUtf8(settings.File()));
    EXPECT_EQ(rec[3]["k"], "cmd"); // thread, the recorder's line, then the start
    EXPECT_EQ(rec[3]["in"]["section"], "cam2");
    DeleteFileW(file.c_str());
}

} // namespace
