// Hostile input through the real export: every command code with arbitrary arguments, start
// blocks with null and overlong texts, host settings at and past every buffer bound, camera
// lists that disagree with themselves, overlong configuration names. Each gets its defined
// answer and log line, and the plug-in goes on working afterwards.
#include "infra/trv_params.h"
#include "frame_recorder.h"
#include "host_settings.h"
#include "log_text.h"
#include "log_collector.h"
#include "plugin_host.h"
#include "sim_control.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <random>
#include <string>
#include <vector>

namespace {

using trvtest::Calls;
using trvtest::CountOf;
using trvtest::Has;
using trvtest::WithoutSlowFrames;

std::atomic<uint32_t> gErrors{0};

void OnError() {
    ++gErrors;
}

// `length` characters: `head`, then digits and letters in turn, so that a text cut one
// character early or late differs from the expected one.
std::wstring Text(const std::wstring& head, size_t length) {
    static const wchar_t kCycle[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    std::wstring s = head.substr(0, length);
    while (s.size() < length) {
        s += kCycle[s.size() % 36];
    }
    return s;
}

std::string Narrow(const std::wstring& s) {
    return ToUtf8(s);
}

class Hostile : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_fps(50);
        settings.Set(L"CamSN_Wait", trvtest::kStartWaitSeconds);
        trvtest::ResetFrameRecord();
        gErrors = 0;
    }
    void TearDown() override {
        EXPECT_EQ(trvtest::gFrameRecord.bad.load(), 0u) << "frames of the wrong size or content";
        EXPECT_EQ(gErrors.load(), 0u) << "no camera event called for the error callback";
    }

    int AddCamera(const char* serial, uint32_t device, uint32_t width = 64, uint32_t height = 48) {
        const SimCamera c = sim_camera(serial, device, 2, width, height);
        return sim_add_camera(&c);
    }
    std::string ConfigDir() { return Narrow(settings.configDir); }
    std::string TakeLog() { return WithoutSlowFrames(collector.Take()); }
    // The first log after START, without the pieces of START's own waiting line.
    std::string TakeStartLog() { return trvtest::WithoutStartWait(TakeLog()); }

    TrvStartParams StartBlock() {
        return trvtest::StartBlock(settings.configDir, &trvtest::RecordFrame, &OnError);
    }
    // START with `block`; a camera that goes live has its first frames behind it afterwards.
    void Start(TrvStartParams& block, bool live) {
        ASSERT_TRUE(host.loaded());
        ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &block), 1);
        if (live) {
            ASSERT_TRUE(trvtest::MoreFrames(3)) << "no live frames";
        }
        Sleep(50);
    }
    // Switches to camera `id` and sees its frames arrive in the size given.
    void ExpectFramesAfterSwitch(int32_t id, const std::string& size) {
        ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, id), 1);
        ASSERT_TRUE(trvtest::MoreFrames(3)) << "no frames from camera " << id;
        EXPECT_EQ(trvtest::LastFrameSize(), size);
    }
    // The timing query of a live camera at 50 frames a second.
    void ExpectTimingAnswers() {
        TrvTimingParams t = {-1.0, -1.0};
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_GET_TIMING, &t), 1);
        EXPECT_EQ(t.dFrameRate, 50.0);
        EXPECT_GT(t.dExposure, 0.0);
    }

    trvtest::HostSettings settings;
    trvtest::PluginHost host;
    trvtest::LogCollector collector{host.log};
};

// ---- Every command code ----

bool ReadsABlock(int32_t code) {
    switch (code) {
    case _TRV_DSHOW_CMD_START:
    case _TRV_DSHOW_CMD_GET_FOCUS_TYPE:
    case _TRV_DSHOW_CMD_RESET_CONFIG:
    case _TRV_DSHOW_CMD_PRAX_CONTROL:
    case _TRV_DSHOW_CMD_PRAX_CAM_RES:
    case _TRV_DSHOW_CMD_AOI:
    case _TRV_DSHOW_CMD_GET_TIMING:
    case _TRV_DSHOW_CMD_SET_FRAME_CALLBACK:
        return true;
    default:
        return false;
    }
}

struct Answer {
    int32_t result;
    std::string log;
};

std::string StreamIdLine(intptr_t arg) {
    const int32_t id = static_cast<int32_t>(arg);
    return "MySetStreamId camId = " + (id == arg ? std::to_string(id) : "(beyond 32 bits)") +
           " gCamShareConfig=0 gCurCamConfigId=4294967295\n";
}

// What a code that ignores its block answers and logs while no camera is loaded.
Answer WithoutCamera(int32_t code, intptr_t arg) {
    switch (code) {
    case _TRV_DSHOW_CMD_LOAD:
        return {1, "TrvCmd: _TRV_DSHOW_CMD_LOAD\n"};
    case _TRV_DSHOW_CMD_UNLOAD:
        return {1, "TrvCmd: _TRV_DSHOW_CMD_UNLOAD\n"};
    case _TRV_DSHOW_CMD_OPEN:
        return {1, "TrvCmd: _TRV_DSHOW_CMD_OPEN\n"};
    case _TRV_DSHOW_CMD_CLOSE:
        return {1, "TrvCmd: _TRV_DSHOW_CMD_CLOSE\n"};
    case _TRV_DSHOW_CMD_STOP:
        return {1, "TrvCmd: _TRV_DSHOW_CMD_STOP\n"};
    case _TRV_DSHOW_CMD_START_FOCUS:
        return {1, "StartFocus BEGIN\nStartFocus END\n"};
    case _TRV_DSHOW_CMD_STOP_FOCUS:
        return {1, "StopFocus BEGIN\nStopFocus END\n"};
    case _TRV_DSHOW_CMD_NOP_11:
    case _TRV_DSHOW_CMD_NOP_12:
    case _TRV_DSHOW_CMD_SET_EXPOSURE:
        return {1, ""};
    case _TRV_DSHOW_CMD_SET_STREAM_ID:
        return {1, StreamIdLine(arg) + "MySetStreamId unable to find camId\n"};
    default:
        return {0, "TrvCmd: unknown " + std::to_string(code) + "\n"};
    }
}

// Null, the edges of every width, and values of a fixed generator: a failure names the value.
std::vector<intptr_t> Arguments(std::mt19937_64& random) {
    std::vector<intptr_t> args = {0,          -1,        1,         INTPTR_MIN,
                                  INTPTR_MAX, INT32_MIN, INT32_MAX, 0x80000000};
    for (int i = 0; i < 6; ++i) {
        args.push_back(static_cast<intptr_t>(random()));
    }
    for (int i = 0; i < 3; ++i) {
        args.push_back(static_cast<intptr_t>(random() % 2001) - 1000);
    }
    return args;
}

// Another thread gets a command through: the command lock was left.
bool AnswersFromAnotherThread(trvtest::PluginHost& host) {
    struct Call {
        trvtest::PluginHost* host;
        int32_t result;
    } call{&host, -1};
    HANDLE t = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            Call* c = static_cast<Call*>(p);
            c->result = c->host->Cmd(_TRV_DSHOW_CMD_NOP_11);
            return 0;
        },
        &call, 0, nullptr);
    const bool done = WaitForSingleObject(t, 10000) == WAIT_OBJECT_0;
    CloseHandle(t);
    return done && call.result == 1;
}

TEST_F(Hostile, EveryCodeWithArbitraryArgumentsAnswersExactly) {
    ASSERT_TRUE(host.loaded());
    std::mt19937_64 random(0x5eed1234);
    std::vector<int32_t> codes = {INT32_MIN, INT32_MAX};
    for (int32_t c = -5; c <= 60; ++c) {
        codes.push_back(c);
    }
    size_t calls = 0;
    for (int32_t code : codes) {
        if (ReadsABlock(code)) {
            continue;
        }
        for (intptr_t arg : Arguments(random)) {
            const Answer expected = WithoutCamera(code, arg);
            EXPECT_EQ(host.Cmd(code, arg), expected.result) << "code " << code << " arg " << arg;
            EXPECT_EQ(TakeLog(), expected.log) << "code " << code << " arg " << arg;
            ++calls;
        }
    }
    EXPECT_EQ(calls, (66u + 2u - 8u) * 17u);
    EXPECT_TRUE(AnswersFromAnotherThread(host));

    // A camera starts and delivers as if nothing had happened; the codes that leave the
    // camera open answer the same with it live.
    settings.Set(L"MaxExposureMs", L"1");
    AddCamera("A", 1);
    TrvStartParams block = StartBlock();
    Start(block, true);
    EXPECT_EQ(block.nSizeX, 64);
    TakeLog();
    for (int32_t code : {8, 10, 11, 12, 15, 32}) {
        for (intptr_t arg : Arguments(random)) {
            std::string expected;
            if (code == _TRV_DSHOW_CMD_SET_EXPOSURE) {
                // Range 0.01 to 1000 ms from the camera; the percentage is the low 32 bits.
                const int32_t percent = static_cast<int32_t>(arg);
                const double time = 0.01 + (percent / 100.0) * (1000.0 - 0.01);
                char text[64];
                std::snprintf(text, sizeof text, "%.12g", time);
                expected = "SetExposure: Setting Exposure value=" + std::to_string(percent) +
                           " time=" + text + "\n";
            } else if (code == _TRV_DSHOW_CMD_SET_STREAM_ID && arg == 0) {
                continue; // the loaded camera's own id: a switch to it, tested elsewhere
            } else {
                expected = WithoutCamera(code, arg).log;
            }
            EXPECT_EQ(host.Cmd(code, arg), 1) << "code " << code << " arg " << arg;
            EXPECT_EQ(TakeLog(), expected) << "code " << code << " arg " << arg;
        }
    }
    EXPECT_TRUE(AnswersFromAnotherThread(host));
    ASSERT_TRUE(trvtest::MoreFrames(3)) << "frames go on";
    ExpectTimingAnswers();
}

// ---- Start block texts ----

struct StartTexts {
    const char* name;
    int folder, file, section; // lengths; -1: null
};

void PrintTo(const StartTexts& t, std::ostream* os) {
    *os << t.name;
}

class HostileStartBlock : public Hostile, public testing::WithParamInterface<StartTexts> {};

TEST_P(HostileStartBlock, TextsAreCutOrDefaultedAndLogged) {
    const StartTexts& p = GetParam();
    const std::wstring folder = p.folder < 0 ? L"" : Text(L"Z:\\nowhere\\", p.folder);
    const std::wstring file = p.file < 0 ? L"" : Text(L"cam", p.file);
    const std::wstring section = p.section < 0 ? L"" : Text(L"sect", p.section);
    const std::wstring usedFolder = folder.substr(0, 259);
    const std::wstring usedFile = p.file < 0 ? L"ueyecam.ini" : file.substr(0, 259);
    const std::wstring usedSection = p.section < 0 ? L"video" : section.substr(0, 259);
    // Read from the section the plug-in ends up with, and only from there.
    settings.Set(L"MaxExposureMs", L"7", usedSection.c_str());
    settings.Set(L"CamSN_Wait", trvtest::kStartWaitSeconds, usedSection.c_str());
    AddCamera("A", 1);
    TrvStartParams block = StartBlock();
    block.pszConfigDir = p.folder < 0 ? nullptr : folder.c_str();
    block.pszCamFileName = p.file < 0 ? nullptr : file.c_str();
    block.pszSection = p.section < 0 ? nullptr : section.c_str();
    block.nFocusType = 1;
    Start(block, true);
    EXPECT_EQ(block.nSizeX, 64);
    EXPECT_EQ(block.nSizeY, 48);
    const std::string log = TakeStartLog();
    std::string names;
    if (p.folder < 0) {
        names += "**** TrvCmd: configuration folder is null\n";
    } else if (p.folder > 259) {
        names += "**** TrvCmd: configuration folder cut to 259 characters\n";
    }
    if (p.file > 259) {
        names += "**** TrvCmd: camera file name cut to 259 characters\n";
    }
    if (p.section > 259) {
        names += "**** TrvCmd: section cut to 259 characters\n";
    }
    names += "**** TrvCmd: section=" + Narrow(usedSection) + "\n***** UEYECAM Init1\n";
    EXPECT_TRUE(Has(log, "\n" + names)) << log;
    EXPECT_EQ(CountOf(log, "**** TrvCmd: "), 1 + CountOf(names, "**** TrvCmd: ")) << log;
    EXPECT_TRUE(Has(log, "InitializeExposureDefaults min=0 max=7000 int=1\n")) << log;
    const std::string path = Narrow(usedFolder + usedFile);
    EXPECT_TRUE(Has(log, "LoadFile3: " + path + "\nLoadFile Param File NOT loaded: " + path + "\n"))
        << log;

    // Later commands use the names as taken.
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"x.ini")), 1);
    EXPECT_TRUE(Has(TakeLog(), "MyReloadFile2 file=" + Narrow(usedFolder) + "x.ini found=0\n"));
    ASSERT_TRUE(trvtest::MoreFrames(3));
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_START_FOCUS), 1);
    EXPECT_TRUE(Has(TakeLog(), "UEYE ini=" + Narrow(usedFolder) + "tarvello.ini\n"));
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP_FOCUS), 1);
    ASSERT_TRUE(trvtest::MoreFrames(3)) << "frames after focus and back";
    EXPECT_EQ(trvtest::LastFrameSize(), "64x48");
    ExpectTimingAnswers();
}

INSTANTIATE_TEST_SUITE_P(Lengths, HostileStartBlock,
                         testing::Values(StartTexts{"all259", 259, 259, 259},
                                         StartTexts{"all260", 260, 260, 260},
                                         StartTexts{"all261", 261, 261, 261},
                                         StartTexts{"all1000", 1000, 1000, 1000},
                                         StartTexts{"allNull", -1, -1, -1}),
                         [](const testing::TestParamInfo<StartTexts>& i) { return i.param.name; });

// ---- Host settings values ----

class HostileCamSn : public Hostile, public testing::WithParamInterface<int> {};

TEST_P(HostileCamSn, OnlyTheWholeValueNamesACamera) {
    // The second camera's 16-character serial number, then padding: only the exact value
    // may choose it; any cut value must not.
    const size_t length = static_cast<size_t>(GetParam());
    AddCamera("FIRST", 1, 40, 30);
    AddCamera("ABCDEFGHIJKLMNOP", 2, 80, 60);
    const std::wstring value = Text(L"ABCDEFGHIJKLMNOP", length);
    settings.Set(L"CamSN", value.c_str());
    TrvStartParams block = StartBlock();
    Start(block, true);
    const bool chosen = length == 16;
    EXPECT_EQ(block.nSizeX, chosen ? 80 : 40);
    const std::vector<std::string> inits = Calls("is_CameraInit");
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].rfind(chosen ? "is_CameraInit id=0x8002 " : "is_CameraInit id=0x0 ", 0), 0u)
        << inits[0];
    const std::string log = TakeStartLog();
    EXPECT_EQ(Has(log, "UEYE Opened camera ABCDEFGHIJKLMNOP\n"), chosen) << log;
    EXPECT_FALSE(Has(log, "Unble")) << log;
    EXPECT_EQ(trvtest::LastFrameSize(), chosen ? "80x60" : "40x30");
    ExpectTimingAnswers();
}

INSTANTIATE_TEST_SUITE_P(Lengths, HostileCamSn, testing::Values(16, 255, 256, 1000),
                         [](const testing::TestParamInfo<int>& i) {
                             return "Chars" + std::to_string(i.param);
                         });

TEST_F(Hostile, LongCamSnKeysAreReadUpTo255Characters) {
    AddCamera("SN4", 4, 48, 32);
    const std::wstring values[3] = {Text(L"one", 255), Text(L"two", 256), Text(L"three", 1000)};
    settings.Set(L"CamSN_1", values[0].c_str());
    settings.Set(L"CamSN_2", values[1].c_str());
    settings.Set(L"CamSN_3", values[2].c_str());
    settings.Set(L"CamSN_4", L"SN4");
    TrvStartParams block = StartBlock();
    Start(block, false);
    EXPECT_EQ(block.nSizeX, 0) << "the first record, whose camera was not found";
    const std::string log = TakeStartLog();
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k + 1);
        const std::string read = Narrow(values[k].substr(0, 255));
        const std::string key = "CamSN_" + std::to_string(k + 1);
        EXPECT_TRUE(Has(log, "KEY=" + key + " SERNO=" + read + "\n")) << log;
        EXPECT_TRUE(Has(log, "***** UEYECAM OpenCamera1 userSerNO(" + read + ")\n"));
        EXPECT_TRUE(Has(log, "UEYE ERROR: Unble to find camera " + read + "\n"));
        if (values[k].size() > 255) {
            EXPECT_FALSE(Has(log, Narrow(values[k].substr(0, 256)))) << "read past 255 characters";
        }
    }
    EXPECT_TRUE(Has(log, "KEY=CamSN_4 SERNO=SN4\n"));
    EXPECT_TRUE(Has(log, "UEYE Opened camera SN4\n"));
    EXPECT_TRUE(Has(log, "MyLoadMultiple gMyCams.size()=4\n"));
    ExpectFramesAfterSwitch(4, "48x32");
    ExpectTimingAnswers();
    // A record whose camera was never found cannot start; the next switch still works.
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 1), 1);
    EXPECT_TRUE(Has(TakeLog(), "MySetStreamId stopping current...\nMySetStreamId starting new...\n"
                               "***** UEYECAM is_CaptureVideo failure: 1\n"
                               "IsTransferFailed ERROR: is_CaptureStatus=1\n"));
    ExpectFramesAfterSwitch(4, "48x32");
}

class HostileCamSnMax : public Hostile, public testing::WithParamInterface<int32_t> {};

TEST_P(HostileCamSnMax, KeysReadUpToTheThousandth) {
    const int32_t max = GetParam();
    AddCamera("SNK", 7, 48, 32);
    AddCamera("SNX", 8, 80, 60);
    settings.Set(L"CamSN_Max", std::to_wstring(max).c_str());
    settings.Set(L"CamSN_1000", L"SNK");
    settings.Set(L"CamSN_1001", L"SNX");
    TrvStartParams block = StartBlock();
    Start(block, false);
    EXPECT_EQ(block.nSizeX, 48);
    const std::string log = TakeStartLog();
    EXPECT_TRUE(Has(log, "MyLoadMultiple maxCams=" + std::to_string(max) + "\n")) << log;
    EXPECT_EQ(Has(log, "MyLoadMultiple maxCams limited to 1000\n"), max > 1000);
    EXPECT_EQ(CountOf(log, "MyLoadMultiple key=CamSN_"), 1000u);
    EXPECT_TRUE(Has(log, "MyLoadMultiple key=CamSN_1000\nKEY=CamSN_1000 SERNO=SNK\n"));
    EXPECT_FALSE(Has(log, "CamSN_1001"));
    EXPECT_TRUE(Has(log, "UEYE Opened camera SNK\n"));
    EXPECT_TRUE(Has(log, "MyLoadMultiple gMyCams.size()=1\n"));
    const std::vector<std::string> inits = Calls("is_CameraInit");
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].rfind("is_CameraInit id=0x8007 ", 0), 0u) << inits[0];
    ExpectFramesAfterSwitch(1000, "48x32");
    ExpectTimingAnswers();
}

INSTANTIATE_TEST_SUITE_P(Values, HostileCamSnMax, testing::Values(1000, 1001, INT32_MAX),
                         [](const testing::TestParamInfo<int32_t>& i) {
                             return "Max" + std::to_string(i.param);
                         });

// TRV_SETTINGS values around every bound, switched between commands in one process.
class HostileSettingsPath : public Hostile {
  protected:
    void TearDown() override {
        SetEnvironmentVariableW(L"TRV_SETTINGS", settings.base.c_str());
        if (!docsFile.empty()) {
            WritePrivateProfileStringW(section.c_str(), nullptr, nullptr, docsFile.c_str());
            if (!docsFileExisted) {
                DeleteFileW(docsFile.c_str());
            }
        }
        for (auto* paths : {&docsMade, &made}) {
            for (auto it = paths->rbegin(); it != paths->rend(); ++it) {
                DeleteFileW(it->c_str());
                RemoveDirectoryW(it->c_str());
            }
        }
        Hostile::TearDown();
    }
    static void MakeFolder(std::vector<std::wstring>& paths, const std::wstring& path) {
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            paths.push_back(path);
        }
    }
    std::vector<std::wstring> made;     // removed in reverse order
    std::vector<std::wstring> docsMade; // in the shared documents folder
    std::wstring section;
    std::wstring docsFile;
    bool docsFileExisted = false;
};

TEST_F(HostileSettingsPath, EveryLengthAroundTheBoundsGetsItsAnswer) {
    // A section of this run's own: the all-users documents folder is shared.
    section = L"hostile" + std::to_wstring(GetCurrentProcessId()) + L"_" +
              std::to_wstring(GetTickCount());
    TrvStartParams block = StartBlock();
    block.pszSection = section.c_str();
    Start(block, false); // no camera: one record that never opened
    TakeLog();

    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring root = std::wstring(tmp) + L"trvlen" + std::to_wstring(GetTickCount());
    ASSERT_LT(root.size(), 200u) << "no room below the temporary folder for the lengths";
    MakeFolder(made, root);
    // A base folder of exactly `length` characters below root.
    auto base = [&](size_t length) {
        return root + L"\\" + std::wstring(length - root.size() - 1, L'p');
    };

    // The settings file of a 228-character base is 259 characters long: read.
    const std::wstring fits = base(228);
    MakeFolder(made, fits);
    MakeFolder(made, fits + L"\\Tarvello");
    MakeFolder(made, fits + L"\\Tarvello\\Settings");
    const std::wstring fitsFile = fits + L"\\Tarvello\\Settings\\Tarvello.ini";
    ASSERT_EQ(fitsFile.size(), 259u);
    ASSERT_TRUE(
        WritePrivateProfileStringW(section.c_str(), L"CamShareConfig", L"1", fitsFile.c_str()));
    made.push_back(fitsFile);
    // Values that do not fit the 1024-character buffer use the all-users documents folder.
    wchar_t docs[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, 0x802e, nullptr, 0, docs), S_OK);
    MakeFolder(docsMade, std::wstring(docs) + L"\\Tarvello");
    MakeFolder(docsMade, std::wstring(docs) + L"\\Tarvello\\Settings");
    docsFile = std::wstring(docs) + L"\\Tarvello\\Settings\\Tarvello.ini";
    docsFileExisted = GetFileAttributesW(docsFile.c_str()) != INVALID_FILE_ATTRIBUTES;
    ASSERT_TRUE(
        WritePrivateProfileStringW(section.c_str(), L"CamShareConfig", L"1", docsFile.c_str()));
    for (size_t length : {229u, 230u, 250u}) {
        made.push_back(base(length)); // the plug-in makes its settings folder there
        made.push_back(base(length) + L"\\Tarvello");
    }

    const std::string fileTooLong = "GetSettingsPath: settings file path too long\n";
    const std::string folderTooLong = "GetSettingsPath: settings folder path too long\n";
    const std::string envTooLong = "GetSettingsPath: TRV_SETTINGS too long, ignored\n";
    struct Row {
        std::wstring value;
        const std::string* line; // or null; each kind is logged once per start
        bool read;               // the CamShareConfig=1 written for this run is seen
    };
    const Row rows[] = {
        {fits, nullptr, true},                         // file path 259
        {base(229), &fileTooLong, false},              // file path 260
        {base(230), nullptr, false},                   // file path 261
        {base(250), nullptr, false},                   // settings folder 259
        {base(251), &folderTooLong, false},            // settings folder 260
        {base(252), nullptr, false},                   // settings folder 261
        {std::wstring(1023, L'h'), nullptr, false},    // fits the buffer, not a path
        {std::wstring(1024, L'h'), &envTooLong, true}, // does not fit the buffer
        {std::wstring(2000, L'h'), nullptr, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.value.size());
        ASSERT_TRUE(SetEnvironmentVariableW(L"TRV_SETTINGS", r.value.c_str()));
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, -1), 1);
        const std::string expected =
            (r.line != nullptr ? *r.line : std::string()) +
            "MySetStreamId camId = -1 gCamShareConfig=" + (r.read ? "1" : "0") +
            " gCurCamConfigId=4294967295\n" +
            (r.read ? "" : "MySetStreamId unable to find camId\n");
        EXPECT_EQ(TakeLog(), expected);
    }
    ASSERT_TRUE(SetEnvironmentVariableW(L"TRV_SETTINGS", settings.base.c_str()));
    TrvTimingParams t = {-1.0, -1.0};
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_GET_TIMING, &t), 1);
    EXPECT_EQ(t.dFrameRate, 0.0) << "no camera: the library answers nothing";
}

// ---- Camera lists ----

struct ListCase {
    const char* name;
    const char* key; // library key, or a call to fail
    const char* value;
    int failCount; // > 0: `key` is a call failed this many times
    std::vector<std::string> listCalls;
    bool sn1, sn2; // opened
    size_t countErrors, listErrors;
};

void PrintTo(const ListCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileCameraList : public Hostile, public testing::WithParamInterface<ListCase> {};

TEST_P(HostileCameraList, OnlyTheEntriesReturnedAreRead) {
    const ListCase& c = GetParam();
    AddCamera("SN1", 1, 40, 30);
    AddCamera("SN2", 2, 80, 60);
    settings.Set(L"CamSN_1", L"SN1");
    settings.Set(L"CamSN_2", L"SN2");
    if (c.failCount > 0) {
        sim_fail(c.key, 5, c.failCount);
    } else {
        ASSERT_EQ(sim_configure(-1, c.key, c.value), 0);
    }
    TrvStartParams block = StartBlock();
    Start(block, false);
    EXPECT_EQ(block.nSizeX, c.sn1 ? 40 : 0);
    EXPECT_EQ(Calls("is_CameraList"), c.listCalls);
    const std::string log = TakeStartLog();
    EXPECT_EQ(Has(log, "UEYE Opened camera SN1\n"), c.sn1) << log;
    EXPECT_EQ(Has(log, "UEYE ERROR: Unble to find camera SN1\n"), !c.sn1) << log;
    EXPECT_EQ(Has(log, "UEYE Opened camera SN2\n"), c.sn2) << log;
    EXPECT_EQ(Has(log, "UEYE ERROR: Unble to find camera SN2\n"), !c.sn2) << log;
    EXPECT_EQ(CountOf(log, "ERROR: Could not receive camera count\n"), c.countErrors);
    EXPECT_EQ(CountOf(log, "ERROR: Could not receive camera list\n"), c.listErrors);
    EXPECT_TRUE(Has(log, "MyLoadMultiple gMyCams.size()=2\n"));
    if (c.sn1) {
        ExpectFramesAfterSwitch(1, "40x30");
    }
    if (c.sn2) {
        ExpectFramesAfterSwitch(2, "80x60");
    }
    if (c.sn1 || c.sn2) {
        ExpectTimingAnswers();
    } else {
        TrvAoiParams aoi = {2, 0, 0, 0, 0, 0};
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_AOI, &aoi), 0) << "no camera to read from";
        EXPECT_TRUE(Has(TakeLog(), "***** UEYECAM GetAoiRect error=1\n"));
    }
}

const std::string kBoth = "is_CameraList count=2 -> 0 written=2";
const std::string kNone = "is_CameraList count=0 -> 0 written=0";

INSTANTIATE_TEST_SUITE_P(
    Answers, HostileCameraList,
    testing::Values(
        ListCase{"CountAboveTheCameras",
                 "count_extra",
                 "3",
                 0,
                 {"is_CameraList count=5 -> 0 written=2"},
                 true,
                 true,
                 0,
                 0},
        ListCase{"NegativeCount", "count_extra", "-5", 0, {kNone, kNone}, false, false, 0, 0},
        ListCase{"CountBeyondAnyMachine",
                 "count_extra",
                 "100000",
                 0,
                 {"is_CameraList count=4096 -> 0 written=2"},
                 true,
                 true,
                 0,
                 0},
        ListCase{"ListClaimsMoreThanAsked", "list_count", "100", 0, {kBoth}, true, true, 0, 0},
        // Trusted, this count would have the plug-in read far past the list's buffer.
        ListCase{"ListClaimsAllBits", "list_count", "4294967295", 0, {kBoth}, true, true, 0, 0},
        ListCase{"ListClaimsFewer", "list_count", "1", 0, {kBoth}, true, false, 0, 0},
        ListCase{"ListClaimsNone", "list_count", "0", 0, {kBoth, kBoth}, false, false, 0, 0},
        ListCase{"CountCallFails", "is_CameraCount", nullptr, 2, {}, false, false, 2, 0},
        ListCase{"ListCallFailsOnce",
                 "is_CameraList",
                 nullptr,
                 1,
                 {"is_CameraList count=2 -> 5 written=0", kBoth},
                 false,
                 true,
                 0,
                 1}),
    [](const testing::TestParamInfo<ListCase>& i) { return i.param.name; });

TEST_F(Hostile, SerialAndInfoFillingTheirSixteenBytes) {
    const int a = AddCamera("ABCDEFGHIJKLMNOP", 1, 40, 30);
    const int b = AddCamera("ABCDEFGHIJKLMNO", 2, 80, 60);
    // The info text follows the serial number in the entry: a read past the serial's 16
    // bytes would run into it.
    ASSERT_EQ(sim_configure(a, "info", "QRSTUVWXYZ012345"), 0);
    ASSERT_EQ(sim_configure(b, "info", "QRSTUVWXYZ012345"), 0);
    settings.Set(L"CamSN_1", L"ABCDEFGHIJKLMNOP");
    settings.Set(L"CamSN_2", L"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
    settings.Set(L"CamSN_3", L"ABCDEFGHIJKLMNO");
    TrvStartParams block = StartBlock();
    Start(block, false);
    EXPECT_EQ(block.nSizeX, 40);
    const std::string log = TakeStartLog();
    EXPECT_TRUE(Has(log, "UEYE Opened camera ABCDEFGHIJKLMNOP\n")) << log;
    EXPECT_TRUE(Has(log, "UEYE ERROR: Unble to find camera ABCDEFGHIJKLMNOPQRSTUVWXYZ012345\n"));
    EXPECT_TRUE(Has(log, "UEYE Opened camera ABCDEFGHIJKLMNO\n"));
    EXPECT_TRUE(
        Has(log, "LoadFile2 file=" + ConfigDir() + "ueyecam_ABCDEFGHIJKLMNOP.ini found=0\n"));
    const std::vector<std::string> inits = Calls("is_CameraInit");
    ASSERT_EQ(inits.size(), 2u);
    EXPECT_EQ(inits[0].rfind("is_CameraInit id=0x8001 ", 0), 0u) << inits[0];
    EXPECT_EQ(inits[1].rfind("is_CameraInit id=0x8002 ", 0), 0u) << inits[1];
    ExpectFramesAfterSwitch(1, "40x30");
    ExpectFramesAfterSwitch(3, "80x60");
    ExpectTimingAnswers();
}

// ---- Configuration names ----

TEST_F(Hostile, ResetConfigNamesAtAndPastTheirBound) {
    AddCamera("A", 1);
    TrvStartParams block = StartBlock();
    Start(block, true);
    TakeLog();
    const std::wstring name259 = Text(L"name", 259);
    const std::wstring name260 = name259 + L"q"; // cut to 259 it would be the current name
    const std::wstring name1000 = name259 + std::wstring(741, L'r');
    std::wstring upper = name259;
    for (wchar_t& ch : upper) {
        ch = static_cast<wchar_t>(std::towupper(ch));
    }
    const std::string refused = "MyResetConfig load new config\n"
                                "MyResetConfig name missing or longer than 259 characters\n";
    const std::string path = ConfigDir() + Narrow(name259);

    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(name259.c_str())),
              1);
    const std::string taken = TakeLog();
    EXPECT_TRUE(Has(taken, "MyResetConfig load new config\nMyReloadFile2 file=" + path +
                               " found=0\nLoadFile Param File NOT loaded: " + path + "\n"))
        << taken;
    EXPECT_TRUE(Has(taken, "MyResetConfig complete\n"));
    ASSERT_TRUE(trvtest::MoreFrames(3));

    struct Case {
        const char* name;
        const wchar_t* value;
    };
    const Case refusedCases[] = {
        {"260", name260.c_str()}, {"1000", name1000.c_str()}, {"null", nullptr}};
    for (const Case& c : refusedCases) {
        SCOPED_TRACE(c.name);
        sim_journal_clear();
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(c.value)), 0);
        EXPECT_EQ(TakeLog(), refused);
        EXPECT_TRUE(trvtest::Journal().empty()) << "the camera is not touched";
        ASSERT_TRUE(trvtest::MoreFrames(2)) << "live all along";
    }
    // The refused names changed nothing: the 259-character name is still the current one.
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(upper.c_str())), 1);
    EXPECT_EQ(TakeLog(), "MyResetConfig load new config\nMyResetConfig same config\n");
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"ueyecam.ini")), 1);
    EXPECT_TRUE(Has(TakeLog(), "MyResetConfig complete\n"));
    ASSERT_TRUE(trvtest::MoreFrames(3));
    EXPECT_EQ(trvtest::LastFrameSize(), "64x48");
    ExpectTimingAnswers();
}

} // namespace
