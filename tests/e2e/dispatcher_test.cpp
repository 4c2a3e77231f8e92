// The command table through the real export, one process per scenario.
#include "plugin_host.h"
#include "infra/trv_params.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using trvtest::PluginHost;

std::vector<int32_t> UnknownCodes() {
    std::vector<int32_t> codes = {0, -1, 48, 7, 9, 13, 14, 33, INT32_MIN, INT32_MAX, 1000};
    for (int32_t c = 16; c <= 31; ++c) {
        codes.push_back(c);
    }
    for (int32_t c = 35; c <= 41; ++c) {
        codes.push_back(c);
    }
    return codes;
}

TEST(Dispatcher, ExportIsOrdinalOneByName) {
    HMODULE m = LoadLibraryW((trvtest::OwnFolder() + L"trvueye.dll").c_str());
    ASSERT_NE(m, nullptr) << "trvueye.dll or the camera library did not load";
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(m, "TrvCmd")),
              reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(1))));
}

TEST(Dispatcher, UnknownCodesLogAndAnswerZero) {
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    for (int32_t code : UnknownCodes()) {
        EXPECT_EQ(host.Cmd(code, 0x1234), 0) << code;
        EXPECT_EQ(host.TakeLog(), "TrvCmd: unknown " + std::to_string(code) + "\n") << code;
    }
}

TEST(Dispatcher, NopCodesAnswerOneAndLogNothing) {
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    for (int32_t code : {11, 12}) {
        for (intptr_t arg : {intptr_t{0}, intptr_t{-1}, intptr_t{50}}) {
            EXPECT_EQ(host.Cmd(code, arg), 1) << code;
        }
    }
    EXPECT_EQ(host.TakeLog(), "");
}

TEST(Dispatcher, LoadAndOpenOnlyLog) {
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_LOAD), 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_OPEN, -1), 1);
    EXPECT_EQ(host.TakeLog(), "TrvCmd: _TRV_DSHOW_CMD_LOAD\nTrvCmd: _TRV_DSHOW_CMD_OPEN\n");
}

TEST(Dispatcher, CloseStopUnloadWithoutCameraOnlyLog) {
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_UNLOAD), 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_CLOSE), 1);
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP), 1);
    EXPECT_EQ(host.TakeLog(), "TrvCmd: _TRV_DSHOW_CMD_UNLOAD\nTrvCmd: _TRV_DSHOW_CMD_CLOSE\n"
                              "TrvCmd: _TRV_DSHOW_CMD_STOP\n");
}

TEST(Dispatcher, GetFocusTypeNormalises) {
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    struct Case {
        int32_t in;
        int32_t out;
        const char* log;
    };
    const Case cases[] = {
        {0, 3, "GetFocusType using free run UNKNOWN TYPE=0\nGetFocusType=3\n"},
        {4, 3, "GetFocusType using free run UNKNOWN TYPE=4\nGetFocusType=3\n"},
        {-1, 3, "GetFocusType using free run UNKNOWN TYPE=-1\nGetFocusType=3\n"},
        {1, 1, "GetFocusType=1\n"},
        {2, 2, "GetFocusType=2\n"},
        {3, 3, "GetFocusType=3\n"},
    };
    for (const Case& c : cases) {
        int32_t value = c.in;
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_GET_FOCUS_TYPE, &value), 1);
        EXPECT_EQ(value, c.out) << c.in;
        EXPECT_EQ(host.TakeLog(), c.log) << c.in;
    }
}

void NoFrames(unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {}

TEST(Dispatcher, SetFrameCallbackStoresWithoutLogging) {
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    TrvFrameCallback cb = &NoFrames;
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_FRAME_CALLBACK, &cb), 1);
    cb = nullptr;
    EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_FRAME_CALLBACK, &cb), 1);
    EXPECT_EQ(host.TakeLog(), "");
}

TEST(Dispatcher, ResultIsExactlyZeroOrOneInAll64Bits) {
    // Call through a 64-bit result type: the upper half must be clear too.
    using Wide = uint64_t (*)(int32_t, intptr_t);
    HMODULE m = LoadLibraryW((trvtest::OwnFolder() + L"trvueye.dll").c_str());
    ASSERT_NE(m, nullptr);
    auto wide =
        reinterpret_cast<Wide>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(1))));
    for (int32_t code : {0, 1, 11, 48, -7}) {
        const uint64_t r = wide(code, 0) & 0xFFFFFFFFull;
        EXPECT_TRUE(r == 0 || r == 1) << code << " gave " << r;
    }
}

TEST(Dispatcher, CommandsFromManyThreadsNeverInterleaveLines) {
    PluginHost host;
    ASSERT_TRUE(host.loaded());
    std::vector<HANDLE> threads;
    struct Arg {
        PluginHost* host;
        int32_t code;
    };
    static Arg args[4];
    for (int i = 0; i < 4; ++i) {
        args[i] = {&host, 100 + i};
        threads.push_back(CreateThread(
            nullptr, 0,
            [](void* p) -> DWORD {
                Arg* a = static_cast<Arg*>(p);
                for (int n = 0; n < 50; ++n) {
                    a->host->Cmd(a->code);
                }
                return 0;
            },
            &args[i], 0, nullptr));
    }
    std::string all;
    WaitForMultipleObjects(4, threads.data(), TRUE, 60000);
    for (HANDLE t : threads) {
        CloseHandle(t);
    }
    all = host.TakeLog();
    // Each command writes its line in three pieces under the command lock.
    size_t lines = 0;
    size_t pos = 0;
    while (pos < all.size()) {
        const size_t end = all.find('\n', pos);
        ASSERT_NE(end, std::string::npos);
        const std::string line = all.substr(pos, end - pos);
        EXPECT_TRUE(line == "TrvCmd: unknown 100" || line == "TrvCmd: unknown 101" ||
                    line == "TrvCmd: unknown 102" || line == "TrvCmd: unknown 103")
            << line;
        ++lines;
        pos = end + 1;
    }
    EXPECT_EQ(lines, 200u);
}

} // namespace
