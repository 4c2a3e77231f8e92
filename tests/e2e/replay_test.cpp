// A session of every host command recorded against the simulator (the "real" library here) and
// replayed by trvreplay: the replay does what the session did, log line for line; with one
// recorded answer changed, the replay names the first record where the plug-in does otherwise.
// The session runs in a process of its own, so that it ends, and its recording with it.
#include "e2e_host.h"
#include "file_text.h"
#include "host_settings.h"
#include "replay/recording_reader.h"
#include "replay/replay_compare.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<int> gErrors{0};
std::atomic<bool> gSlow{false};
std::wstring gFile;
std::atomic<int> gPosted{0}; // events the session posted itself

// How often `what` is in the session's recording so far.
int Recorded(const std::string& what) {
    return static_cast<int>(trvtest::CountOf(trvtest::ReadFileText(gFile), what));
}

// A host slower than the camera for one frame: two frame events queue behind it.
void OnFrame(unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {
    ++trvtest::gFrames.frames;
    if (gSlow.exchange(false)) {
        gPosted += 2;
        sim_post_event(0, 0, 0, -1, 0);
        sim_post_event(0, 0, 0, -1, 0);
    }
}

void OnError() {
    ++gErrors;
}

// Inside GET_TIMING's last call: a frame event comes, and is dropped, while it holds the lock.
void FrameDuringCommand(void*) {
    const int drops = Recorded("\"k\":\"drop\"");
    ++gPosted;
    sim_post_event(0, 0, 0, -1, 0);
    trvtest::WaitFor([&] { return Recorded("\"k\":\"drop\"") > drops; });
}

// A stream switch to camera `index`: its frames come one by one once the switch waits for
// them, and no more than the five it waits for, so that none comes while it returns.
int32_t SwitchTo(trvtest::PluginHost& host, int index) {
    const std::string waiting = "MySetStreamId waiting for image...";
    const int before = Recorded(waiting);
    sim_configure(index, "stalled", "1");
    std::thread feeder([&] {
        trvtest::WaitFor([&] { return Recorded(waiting) > before; });
        for (int k = 0; k < 5; ++k) {
            const int drops = Recorded("\"k\":\"drop\"");
            ++gPosted;
            sim_post_event(index, 0, 0, -1, 0);
            trvtest::WaitFor([&] { return Recorded("\"k\":\"drop\"") > drops; });
        }
    });
    const int32_t answer = host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, index + 1);
    feeder.join();
    sim_configure(index, "stalled", "0");
    return answer;
}

// Every event posted so far has been taken by the camera thread.
bool Quiet() {
    return trvtest::WaitFor([] {
        SimStats s;
        sim_stats(&s);
        return Recorded("\"k\":\"ev\"") ==
               static_cast<int>(s.framesPosted + s.transferFailures) + gPosted;
    });
}

int RecordSession(const std::wstring& configDir) {
    sim_reset();
    sim_set_fps(100);
    const SimCamera colour = sim_camera("RT-0001", 1, 2, 64, 48);
    const SimCamera mono = sim_camera("RT-0002", 2, 1, 32, 24);
    sim_add_camera(&colour);
    sim_add_camera(&mono);
    sim_configure(0, "user_memory",
                  "0102030d0c0b0a00000000000000000050140032070000000000000000000000ba490c022b8776"
                  "3f02");
    sim_configure(0, "io_limits", "0 10000");
    SetEnvironmentVariableW(L"TRV_RECORD", gFile.c_str());
    const std::wstring trigger = configDir + L"tarvello.ini";
    WritePrivateProfileStringW(L"video", L"trigger", L"2", trigger.c_str());
    trvtest::PluginHost host;
    std::string answers; // printed for the recording's
    auto cmd = [&](int32_t code, auto arg) {
        answers += std::to_string(host.Cmd(code, reinterpret_cast<intptr_t>(arg)));
    };
    int failed = 0;
    auto check = [&](bool ok, const char* step) {
        if (!ok) {
            std::printf("session: %s failed\n", step);
            ++failed;
        }
    };
    auto frames = [&](uint32_t n) { check(trvtest::MoreFrames(n), "waiting for frames"); };
    cmd(_TRV_DSHOW_CMD_LOAD, nullptr);
    cmd(_TRV_DSHOW_CMD_OPEN, nullptr);
    TrvStartParams start = trvtest::StartBlock(configDir, &OnError);
    start.frameCallback = &OnFrame;
    start.nFocusType = 2;
    cmd(_TRV_DSHOW_CMD_START, &start);
    // No camera is live until the first switch: the commands that call nothing come here.
    int32_t type = 7;
    cmd(_TRV_DSHOW_CMD_GET_FOCUS_TYPE, &type);
    cmd(_TRV_DSHOW_CMD_NOP_11, nullptr);
    cmd(_TRV_DSHOW_CMD_NOP_12, nullptr);
    cmd(99, nullptr);
    TrvFrameCallback callback = &OnFrame;
    cmd(_TRV_DSHOW_CMD_SET_FRAME_CALLBACK, &callback);
    cmd(_TRV_DSHOW_CMD_RESET_CONFIG, L"other.ini");
    cmd(_TRV_DSHOW_CMD_START, &start);
    answers += std::to_string(SwitchTo(host, 0));
    frames(5);
    cmd(_TRV_DSHOW_CMD_SET_EXPOSURE, intptr_t{50});
    sim_cue_callback("is_Exposure:7", &FrameDuringCommand, nullptr);
    TrvTimingParams timing = {};
    cmd(_TRV_DSHOW_CMD_GET_TIMING, &timing);
    TrvAoiParams aoi = {2, 0, 0, 0, 0, 0};
    cmd(_TRV_DSHOW_CMD_AOI, &aoi);
    aoi = {1, 8, 4, 0, 32, 24};
    cmd(_TRV_DSHOW_CMD_AOI, &aoi);
    frames(3);
    aoi = {0, 0, 0, 0, 0, 0};
    cmd(_TRV_DSHOW_CMD_AOI, &aoi);
    gSlow = true;
    frames(4);
    TrvPraxCamResParams res = {};
    cmd(_TRV_DSHOW_CMD_PRAX_CAM_RES, &res);
    TrvPraxControlParams output = {1, 75.0};
    cmd(_TRV_DSHOW_CMD_PRAX_CONTROL, &output);
    ++gPosted;
    sim_post_event(0, 3, 5, 0xA2, 3); // a failed transfer
    check(trvtest::WaitFor([] { return gErrors == 1; }), "the failed transfer");
    cmd(_TRV_DSHOW_CMD_START_FOCUS, nullptr); // hardware trigger: frames only when triggered
    const uint32_t before = trvtest::gFrames.frames;
    sim_hardware_trigger(0);
    check(trvtest::WaitFor([&] { return trvtest::gFrames.frames > before; }), "a triggered frame");
    cmd(_TRV_DSHOW_CMD_STOP_FOCUS, nullptr);
    WritePrivateProfileStringW(L"video", L"trigger", L"1", trigger.c_str());
    cmd(_TRV_DSHOW_CMD_START_FOCUS, nullptr); // strobe: the camera stays live
    frames(3);
    cmd(_TRV_DSHOW_CMD_STOP_FOCUS, nullptr);
    answers += std::to_string(SwitchTo(host, 1));
    frames(3);
    cmd(_TRV_DSHOW_CMD_STOP, nullptr);
    check(Quiet(), "the last events"); // none may come while a command that calls nothing runs
    cmd(_TRV_DSHOW_CMD_CLOSE, nullptr);
    cmd(_TRV_DSHOW_CMD_UNLOAD, nullptr);
    std::printf("session: answers %s\n", answers.c_str());
    return failed;
}

// Runs a command line; its exit code, and its output in `out`. The output goes through a file:
// a process that Wine starts on the way (the desktop) may keep a pipe's other end.
DWORD RunProgram(const std::wstring& arguments, std::string& out) {
    wchar_t name[MAX_PATH], folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"out", 0, name);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = file;
    si.hStdError = file;
    PROCESS_INFORMATION pi = {};
    std::wstring line = arguments;
    DWORD code = 255;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                       &pi)) {
        if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) {
            GetExitCodeProcess(pi.hProcess, &code);
        } else {
            TerminateProcess(pi.hProcess, 255);
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(file);
    for (char c : trvtest::ReadFileText(name)) {
        if (c != '\r') { // the console's line ends
            out += c;
        }
    }
    DeleteFileW(name);
    return code;
}

// The plug-in's log lines of each thread as a recording holds them, times masked; the
// recorder's own lines and the slow-frame lines, which depend on time alone, left out.
std::map<int32_t, std::vector<std::string>> LogLines(const std::string& recording,
                                                     const trv::replay::Mapping& folders = {}) {
    trv::replay::Recording rec;
    trv::replay::ReadRecording(recording, false, rec);
    std::map<int32_t, std::vector<std::string>> lines;
    for (const trv::replay::Record& r : rec.records) {
        if (r.kind == "log" && trv::replay::Compared(r)) {
            std::string text = trv::replay::TextOf(r.j, "text");
            // The replay's configuration folder stands for the session's.
            for (size_t p = folders.replayDir.empty() ? std::string::npos
                                                      : text.find(folders.replayDir);
                 p != std::string::npos; p = text.find(folders.replayDir, p)) {
                text = text.substr(0, p) + folders.recordedDir +
                       text.substr(p + folders.replayDir.size());
            }
            lines[r.th].push_back(trv::replay::MaskTimes(text));
        }
    }
    return lines;
}

TEST(Replay, RoundTripAndASeededDifference) {
    trvtest::HostSettings settings;
    settings.Set(L"CamSN_Max", L"2");
    settings.Set(L"CamSN_1", L"RT-0001");
    settings.Set(L"CamSN_2", L"RT-0002");
    const std::wstring file = settings.base + L"\\session.jsonl";
    const std::wstring self = trvtest::OwnFolder() + L"replay_tests.exe";
    std::string out;
    // The folder goes without its last '\\', which would escape the closing quote.
    ASSERT_EQ(RunProgram(L"\"" + self + L"\" --record-session \"" + file + L"\" \"" +
                             settings.base + L"\"",
                         out),
              0u)
        << out;
    const std::string recording = trvtest::ReadFileText(file);
    for (const char* kind :
         {"\"why\":\"lock\"", "\"why\":\"newer\"", "\"k\":\"setting\"", "\"code\":3,\"cam\"",
          "\"nMode\":4097", "\"nCommand\":20,\"nSize\":4,\"pParam\":[2]", "\"k\":\"end\""}) {
        EXPECT_GT(trvtest::CountOf(recording, kind), 0u) << kind << " is missing from the session";
    }
    // As the host saw it: each answer, the threads, and the first frame's thumbnail (the colour
    // bars at the top, bar k in cells 2k and 2k + 1; cell 0 holds the frame number).
    trv::replay::Recording session;
    ASSERT_EQ(trv::replay::ReadRecording(recording, false, session).fault,
              trv::replay::Fault::None);
    EXPECT_EQ(trv::replay::TextOf(session.header, "file"), ToUtf8(file));
    std::string answers, roles, thumb;
    for (const trv::replay::Record& r : session.records) {
        answers += r.kind == "ret" ? std::to_string(trv::replay::IntOf(r.j, "r")) : "";
        roles += r.kind == "thread" ? trv::replay::TextOf(r.j, "role") + " " : "";
        thumb += r.kind == "frame" && thumb.empty() ? trv::replay::TextOf(r.j, "thumb") : "";
    }
    EXPECT_NE(out.find("session: answers " + answers + "\n"), std::string::npos) << out;
    EXPECT_EQ(roles, "host camera ");
    const char* bars[8] = {"ffffff", "00ffff", "ffff00", "00ff00",
                           "ff00ff", "0000ff", "ff0000", "000000"};
    for (int cell = 1; cell < 16; ++cell) {
        EXPECT_EQ(thumb.substr(cell * 6, 6), bars[cell / 2]) << cell;
    }
    const std::wstring replay = L"\"" + trvtest::OwnFolder() + L"trvreplay.exe\" --plugin \"" +
                                trvtest::PluginPath() + L"\" ";
    out.clear();
    EXPECT_EQ(RunProgram(replay + L"\"" + file + L"\"", out), 0u) << out;
    EXPECT_NE(out.find("\nsame: "), std::string::npos) << out;
    // The same log, line for line per thread; and the viewer of the replay saw it.
    const auto lines = LogLines(recording);
    EXPECT_GT(lines.at(1).size() + lines.at(2).size(), 150u);
    const std::string base = ToUtf8(settings.base);
    EXPECT_EQ(LogLines(trvtest::ReadFileText(settings.base + L"\\session.replay\\recording.jsonl"),
                       {base + "\\session.replay\\config\\", base + "\\"}),
              lines);
    EXPECT_NE(trvtest::ReadFileText(settings.base + L"\\session.replay\\log.txt")
                  .find(lines.at(1).back()),
              std::string::npos);

    // The simulator as the session configured it, checked against the session: it answers every
    // call as recorded but the capture status, which the session raised by hand.
    settings.WriteConfigFile(L"cameras.ini",
                             "[camera1]\nserial=RT-0001\ndevice=1\nwidth=64\nheight=48\nfps=100\n"
                             "io_limits=0 10000\nuser_memory=0102030d0c0b0a0000000000000000005014"
                             "0032070000000000000000000000ba490c022b87763f02\n[camera2]\nserial="
                             "RT-0002\ndevice=2\ncolor=1\nwidth=32\nheight=24\nfps=100\n");
    SetEnvironmentVariableW(L"TRV_SIM_CONFIG", (settings.configDir + L"cameras.ini").c_str());
    out.clear();
    EXPECT_EQ(RunProgram(replay + L"--check-sim \"" + file + L"\"", out), 1u) << out;
    SetEnvironmentVariableW(L"TRV_SIM_CONFIG", nullptr);
    EXPECT_NE(out.find("\nsame: "), std::string::npos) << out;
    EXPECT_NE(out.find("the simulator answered 1 of "), std::string::npos) << out;
    EXPECT_NE(
        out.find(" is_CaptureStatus hCam=1 cmd=2 size=1088: total: 5 / 0; c162: 3 / (none)\n"),
        std::string::npos)
        << out;

    // The first area-of-interest set answers 125 in the recording: the plug-in logs it in the
    // next record of its thread, where the recording has 0.
    std::string seeded = recording;
    size_t at = seeded.find("\"fn\":\"is_AOI\",\"in\":{\"hCam\":1,\"nCommand\":1,");
    ASSERT_NE(at, std::string::npos);
    at = seeded.find("\"r\":0", at);
    seeded.replace(at, 5, "\"r\":125");
    trv::replay::Recording rec;
    ASSERT_EQ(trv::replay::ReadRecording(seeded, false, rec).fault, trv::replay::Fault::None);
    size_t call = 0;
    while (trv::replay::TextOf(rec.records[call].j, "fn") != "is_AOI" ||
           trv::replay::IntOf(rec.records[call].j, "r") != 125) {
        ++call;
    }
    size_t next = call + 1;
    while (rec.records[next].th != rec.records[call].th) {
        ++next;
    }
    const std::wstring seededFile = settings.base + L"\\seeded.jsonl";
    FILE* f = _wfopen(seededFile.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(seeded.data(), 1, seeded.size(), f);
    std::fclose(f);
    out.clear();
    EXPECT_EQ(RunProgram(replay + L"\"" + seededFile + L"\"", out), 1u) << out;
    EXPECT_NE(out.find("differs at record n=" + std::to_string(rec.records[next].n) + " (thread " +
                       std::to_string(rec.records[next].th) +
                       ", host, log):\n  recording: {\"k\":\"log\",\"text\":\"MyCam::SetAoiRect "
                       "is_AOI=0\"}\n  replay:    record n="),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\"text\":\"MyCam::SetAoiRect is_AOI=125\"}\n  after:     record n=" +
                       std::to_string(rec.records[call].n) + " (thread " +
                       std::to_string(rec.records[call].th) +
                       ", host, call is_AOI) answered result=125\n"),
              std::string::npos)
        << out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--record-session") {
        const std::string file = argv[2], dir = argv[3];
        gFile.assign(file.begin(), file.end());
        const int failed = RecordSession(std::wstring(dir.begin(), dir.end()) + L"\\");
        std::printf("session: %d steps failed\n", failed);
        std::fflush(stdout);
        ExitProcess(failed == 0 ? 0 : 1); // ends the recording
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
