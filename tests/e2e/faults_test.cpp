// Faults of the camera library and the cameras, through the real export, one per scenario:
// failed opens, image memory and live start at open, event storms, lens data and output calls,
// refused parameter files, a camera that posts nothing. After each, the plug-in has to log what
// happened, call the host's error callback only for the events that call for it, and go on
// answering the host's commands.
#include "infra/trv_params.h"
#include "frame_recorder.h"
#include "lens_io.h"
#include "host_settings.h"
#include "log_text.h"
#include "log_collector.h"
#include "plugin_host.h"
#include "sim_control.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using trvtest::ApplyLine;
using trvtest::Calls;
using trvtest::ConfigLine;
using trvtest::CountOf;
using trvtest::Has;
using trvtest::LevelLine;
using trvtest::LimitLine;
using trvtest::NumberAfter;
using trvtest::WithoutSlowFrames;

std::atomic<uint32_t> gErrors{0};
std::mutex gBeforeErrorLock;
std::vector<std::string> gBeforeError; // the log taken at each error call
std::atomic<trvtest::LogCollector*> gCollector{nullptr};

// Sends a command from a thread of its own and waits a bounded time for the answer: a callback
// that uses it finds out whether the plug-in called it while holding the command lock.
class CommandProbe {
  public:
    explicit CommandProbe(trvtest::PluginHost& host) : m_host(host) {
        m_go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_thread = CreateThread(nullptr, 0, &Run, this, 0, nullptr);
    }
    ~CommandProbe() {
        m_quit = true;
        SetEvent(m_go);
        WaitForSingleObject(m_thread, 10000);
        for (HANDLE h : {m_thread, m_go, m_done}) {
            CloseHandle(h);
        }
    }
    CommandProbe(const CommandProbe&) = delete;
    CommandProbe& operator=(const CommandProbe&) = delete;

    // The timing query answered within two seconds with the live camera's frame rate.
    bool TimingAnswers() {
        if (blocked > 0) {
            return false; // one blocked command says it all; the rest of the run stays short
        }
        SetEvent(m_go);
        if (WaitForSingleObject(m_done, 2000) != WAIT_OBJECT_0) {
            ++blocked;
            return false;
        }
        return m_result == 1 && m_timing.dFrameRate == 50.0;
    }
    std::atomic<uint32_t> blocked{0};

  private:
    static DWORD WINAPI Run(void* self) {
        auto* p = static_cast<CommandProbe*>(self);
        while (WaitForSingleObject(p->m_go, INFINITE) == WAIT_OBJECT_0 && !p->m_quit) {
            p->m_timing = {-1.0, -1.0};
            p->m_result = p->m_host.Cmd(_TRV_DSHOW_CMD_GET_TIMING, &p->m_timing);
            SetEvent(p->m_done);
        }
        return 0;
    }
    trvtest::PluginHost& m_host;
    HANDLE m_go = nullptr;
    HANDLE m_done = nullptr;
    HANDLE m_thread = nullptr;
    std::atomic<bool> m_quit{false};
    int32_t m_result = 0;
    TrvTimingParams m_timing = {};
};

std::atomic<CommandProbe*> gProbe{nullptr};
std::atomic<uint32_t> gProbeFailures{0};

// The error callback uses the probe while this lives.
struct ProbeInstalled {
    explicit ProbeInstalled(CommandProbe& probe) { gProbe = &probe; }
    ~ProbeInstalled() { gProbe = nullptr; }
    ProbeInstalled(const ProbeInstalled&) = delete;
    ProbeInstalled& operator=(const ProbeInstalled&) = delete;
};

void OnError() {
    // Whatever the plug-in logged before calling: the lines of the event that made it call.
    trvtest::LogCollector* collector = gCollector;
    std::string before = collector != nullptr ? collector->Take() : std::string();
    if (CommandProbe* probe = gProbe; probe != nullptr && !probe->TimingAnswers()) {
        ++gProbeFailures;
    }
    {
        std::lock_guard<std::mutex> g(gBeforeErrorLock);
        gBeforeError.push_back(std::move(before));
    }
    ++gErrors;
}

class Faults : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        sim_set_fps(50);
        settings.Set(L"CamSN_Wait", trvtest::kStartWaitSeconds);
        trvtest::ResetFrameRecord();
        gErrors = 0;
        gProbeFailures = 0;
        {
            std::lock_guard<std::mutex> g(gBeforeErrorLock);
            gBeforeError.clear();
        }
        gCollector = &collector;
    }
    void TearDown() override {
        gProbe = nullptr;
        gCollector = nullptr;
        EXPECT_EQ(trvtest::gFrameRecord.bad.load(), 0u) << "frames of the wrong size or content";
    }

    int AddCamera(const char* serial, uint32_t device, uint32_t width = 64, uint32_t height = 48) {
        const SimCamera c = sim_camera(serial, device, 2, width, height);
        return sim_add_camera(&c);
    }
    std::string Query(int index, const char* key) { return trvtest::SimQuery(index, key); }
    SimStats Stats() {
        SimStats s = {};
        sim_stats(&s);
        return s;
    }
    std::string ConfigDir() { return ToUtf8(settings.configDir); }
    std::wstring WriteConfigFile(const std::wstring& name, const std::string& text) {
        return settings.WriteConfigFile(name, text);
    }
    std::string Setting(const wchar_t* key) { return ToUtf8(settings.Get(key)); }

    TrvStartParams StartBlock() {
        return trvtest::StartBlock(settings.configDir, &trvtest::RecordFrame, &OnError);
    }
    // START with both callbacks. A camera that goes live has its first frames (and the first
    // frame's slow-frame line) behind it before the test goes on.
    TrvStartParams Start(bool live) {
        EXPECT_TRUE(host.loaded());
        TrvStartParams b = StartBlock();
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &b), 1);
        if (live) {
            EXPECT_TRUE(trvtest::MoreFrames(3)) << "no live frames";
        }
        Sleep(50);
        return b;
    }
    std::string TakeLog() { return WithoutSlowFrames(collector.Take()); }
    // The first log after START, without the pieces of START's own waiting line.
    std::string TakeStartLog() { return trvtest::WithoutStartWait(TakeLog()); }

    uint32_t FramesDuring(DWORD ms) {
        const uint32_t before = trvtest::gFrameRecord.frames;
        Sleep(ms);
        return trvtest::gFrameRecord.frames - before;
    }
    // Waits for `n` error calls in all, then a little for any further one.
    bool WaitForErrors(uint32_t n) {
        for (int i = 0; i < 2000 && gErrors < n; ++i) {
            Sleep(10);
        }
        Sleep(200);
        return gErrors == n;
    }
    std::vector<std::string> BeforeError() {
        std::lock_guard<std::mutex> g(gBeforeErrorLock);
        return gBeforeError;
    }

    TrvTimingParams Timing() {
        TrvTimingParams t = {-1.0, -1.0};
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_GET_TIMING, &t), 1);
        return t;
    }
    int32_t ReadAoi(TrvAoiParams& aoi) {
        aoi = {2, -1, -1, -7, -1, -1};
        return host.Cmd(_TRV_DSHOW_CMD_AOI, &aoi);
    }
    // The timing query and the area-of-interest read of a camera that is open, `width` x
    // `height` at 50 frames a second with its default exposure.
    void ExpectOpenCameraAnswers(int32_t width, int32_t height) {
        TakeLog();
        const TrvTimingParams t = Timing();
        EXPECT_EQ(t.dFrameRate, 50.0);
        EXPECT_EQ(t.dExposure, 10.0);
        TrvAoiParams aoi;
        EXPECT_EQ(ReadAoi(aoi), 1);
        EXPECT_EQ(aoi.x, 0);
        EXPECT_EQ(aoi.y, 0);
        EXPECT_EQ(aoi.unused12, -7);
        EXPECT_EQ(aoi.width, width);
        EXPECT_EQ(aoi.height, height);
        EXPECT_EQ(TakeLog(), "***** UEYECAM GetAoiRect x=0 y=0 w=" + std::to_string(width) +
                                 " h=" + std::to_string(height) + "\n");
    }
    // The same for a current record whose camera never opened: timing answers zeros, the
    // area-of-interest read fails with the library's answer.
    void ExpectUnopenedRecordAnswers() {
        TakeLog();
        const TrvTimingParams t = Timing();
        EXPECT_EQ(t.dFrameRate, 0.0);
        EXPECT_EQ(t.dExposure, 0.0);
        TrvAoiParams aoi;
        EXPECT_EQ(ReadAoi(aoi), 0);
        EXPECT_EQ(aoi.width, -1) << "the block is left alone";
        EXPECT_EQ(TakeLog(), "***** UEYECAM GetAoiRect error=1\n");
    }
    // STOP closes every camera, frees every image memory block and stops the frames; START
    // afterwards answers the current record's size and starts nothing anew.
    void ExpectStopThenStart(int32_t width, int32_t height) {
        TakeLog();
        trvtest::gFrameRecord.nullAllowed = true;
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_STOP), 1);
        FramesDuring(100); // a frame already on its way may still arrive
        EXPECT_EQ(FramesDuring(300), 0u) << "frames after STOP";
        for (int i = 0; i < sim_camera_count(); ++i) {
            EXPECT_EQ(Query(i, "handle"), "0") << "camera " << i << " still open";
        }
        const SimStats s = Stats();
        EXPECT_EQ(s.liveBlocks, 0);
        EXPECT_EQ(s.freedByExit, 0) << "the plug-in frees its own memory";
        EXPECT_EQ(s.badFrees, 0);
        TrvStartParams b = StartBlock();
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_START, &b), 1);
        EXPECT_EQ(b.nSizeX, width);
        EXPECT_EQ(b.nSizeY, height);
        EXPECT_EQ(TakeLog(), "TrvCmd: _TRV_DSHOW_CMD_STOP\n");
    }

    trvtest::HostSettings settings;
    trvtest::PluginHost host;
    trvtest::LogCollector collector{host.log};
};

// ---- Opening the camera ----

TEST_F(Faults, InitFailureOtherThanRetryIsNotRetried) {
    AddCamera("A", 1);
    sim_fail("is_CameraInit", 77, 1);
    const TrvStartParams b = Start(false);
    EXPECT_EQ(b.nSizeX, 0) << "the record of the camera that did not open";
    EXPECT_EQ(b.nSizeY, 0);
    const std::vector<std::string> inits = Calls("is_CameraInit");
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].rfind("is_CameraInit id=0x0 ", 0), 0u) << inits[0];
    EXPECT_TRUE(Has(inits[0], " -> 77 hCam=0")) << inits[0];
    EXPECT_TRUE(Calls("is_InitRetryQuery").empty());
    EXPECT_TRUE(Calls("is_ParameterFile").empty());
    const std::string log = TakeStartLog();
    EXPECT_TRUE(Has(log, "***** UEYECAM OpenCamera2b\n***** UEYECAM OpenCamera11\n"
                         "***** UEYECAM OnInitDialog2\n***** UEYECAM OnInitDialog3 modes=1\n"
                         "***** UEYECAM OnInitDialog5\nMyLoadSingle end\n"))
        << log;
    EXPECT_EQ(Query(0, "handle"), "0");
    EXPECT_EQ(FramesDuring(300), 0u);
    ExpectUnopenedRecordAnswers();
    EXPECT_EQ(gErrors.load(), 0u);
    ExpectStopThenStart(0, 0);
}

TEST_F(Faults, InitAskingForRetryTwiceGivesUp) {
    AddCamera("A", 1);
    sim_fail("is_CameraInit", 184, 2);
    Start(false);
    const std::vector<std::string> inits = Calls("is_CameraInit");
    ASSERT_EQ(inits.size(), 2u) << "one retry, no third call";
    EXPECT_EQ(inits[0].rfind("is_CameraInit id=0x0 ", 0), 0u) << inits[0];
    EXPECT_TRUE(Has(inits[0], " -> 184 ")) << inits[0];
    EXPECT_EQ(inits[1].rfind("is_CameraInit id=0x10000 ", 0), 0u) << inits[1];
    EXPECT_TRUE(Has(inits[1], " -> 184 ")) << inits[1];
    const std::vector<std::string> retry = Calls("is_InitRetryQuery");
    ASSERT_EQ(retry.size(), 1u);
    EXPECT_EQ(retry[0], "is_InitRetryQuery hCam=0 cmd=4 value=25000 -> 0");
    const std::string log = TakeStartLog();
    EXPECT_TRUE(Has(log, "***** UEYECAM OpenCamera11\n***** UEYECAM OnInitDialog2\n")) << log;
    EXPECT_FALSE(Has(log, "OpenCamera3"));
    EXPECT_EQ(Query(0, "handle"), "0");
    EXPECT_EQ(FramesDuring(300), 0u);
    ExpectUnopenedRecordAnswers();
    EXPECT_EQ(gErrors.load(), 0u);
    ExpectStopThenStart(0, 0);
}

TEST_F(Faults, ConfiguredCameraThatFailsToOpenLeavesTheOtherUsable) {
    AddCamera("SN1", 1, 40, 30);
    AddCamera("SN2", 2, 80, 60);
    settings.Set(L"CamSN_1", L"SN1");
    settings.Set(L"CamSN_2", L"SN2");
    sim_fail_camera(0, "is_CameraInit", 77, 1);
    const TrvStartParams b = Start(false);
    EXPECT_EQ(b.nSizeX, 0) << "the first record is current";
    const std::string log = TakeStartLog();
    EXPECT_TRUE(Has(log, "UEYE ERROR: Unble to open camera SN1\n")) << log;
    EXPECT_TRUE(Has(log, "UEYE Opened camera SN2\n")) << log;
    EXPECT_TRUE(Has(log, "MyLoadMultiple gMyCams.size()=2\n")) << log;
    EXPECT_EQ(Query(0, "handle"), "0");
    EXPECT_NE(Query(1, "handle"), "0");
    ExpectUnopenedRecordAnswers();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 2), 1);
    EXPECT_TRUE(Has(TakeLog(), "MySetStreamId success t="));
    ASSERT_TRUE(trvtest::MoreFrames(3));
    EXPECT_EQ(trvtest::LastFrameSize(), "80x60");
    ExpectOpenCameraAnswers(80, 60);
    EXPECT_EQ(gErrors.load(), 0u);
    ExpectStopThenStart(80, 60);
}

TEST_F(Faults, ImageMemoryAllocationFailureAtOpenRecoversOnReload) {
    AddCamera("A", 1);
    sim_fail("is_ImageMemAlloc", 2, 1);
    const TrvStartParams b = Start(false);
    EXPECT_EQ(b.nSizeX, 64);
    EXPECT_EQ(b.nSizeY, 48);
    const std::string log = TakeStartLog();
    EXPECT_TRUE(Has(log, "***** UEYECAM InitDisplayMode9\n***** UEYECAM InitDisplayMode10\n"
                         "***** UEYECAM InitDisplayMode12\n***** UEYECAM InitDisplayMode14\n"
                         "***** UEYECAM OpenCamera5 m_nSizeX=64 m_nSizeY=48\n"
                         "***** UEYECAM OpenCamera10\n***** UEYECAM OnInitDialog2\n"))
        << log;
    EXPECT_FALSE(Has(log, "streaming live video"));
    EXPECT_TRUE(Calls("is_EventMessage").empty()) << "no events without image memory";
    EXPECT_EQ(Stats().allocations, 0);
    EXPECT_EQ(FramesDuring(300), 0u);
    ExpectOpenCameraAnswers(64, 48);
    // A configuration reset sets the display up again: memory, events, live video.
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(L"other.ini")), 1);
    const std::string reload = TakeLog();
    EXPECT_TRUE(Has(reload, "MyReloadFile m_nSizeX=64 m_nSizeY=48 ret=0\nMyReloadFile Enable\n"))
        << reload;
    EXPECT_TRUE(Has(reload, "MyResetConfig complete\n"));
    ASSERT_TRUE(trvtest::MoreFrames(3)) << "live after the reload";
    EXPECT_EQ(trvtest::LastFrameSize(), "64x48");
    EXPECT_EQ(gErrors.load(), 0u);
    ExpectStopThenStart(64, 48);
}

TEST_F(Faults, ImageMemoryActivationFailureAtOpenKeepsTheBlockUntilStop) {
    AddCamera("A", 1);
    sim_fail("is_ImageMemActivate", 125, 1);
    const TrvStartParams b = Start(false);
    EXPECT_EQ(b.nSizeX, 64);
    const std::string log = TakeStartLog();
    EXPECT_TRUE(Has(log, "***** UEYECAM InitDisplayMode9\n***** UEYECAM InitDisplayMode11\n"
                         "***** UEYECAM InitDisplayMode12\n***** UEYECAM InitDisplayMode14\n"
                         "***** UEYECAM OpenCamera5 m_nSizeX=64 m_nSizeY=48\n"
                         "***** UEYECAM OpenCamera10\n"))
        << log;
    EXPECT_TRUE(Calls("is_EventMessage").empty());
    EXPECT_TRUE(Calls("is_CaptureVideo").empty());
    EXPECT_EQ(Stats().liveBlocks, 1) << "allocated, not active";
    EXPECT_EQ(FramesDuring(300), 0u);
    ExpectOpenCameraAnswers(64, 48);
    // Switching to the camera tries live video: without active memory the camera refuses.
    sim_journal_clear();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 0), 1);
    const std::string sw = TakeLog();
    EXPECT_TRUE(Has(sw,
                    "MySetStreamId starting new...\n***** UEYECAM is_CaptureVideo failure: 108\n"
                    "IS_CAP_STATUS_COUNT: 0\nMySetStreamId waiting for image...\n"
                    "MySetStreamId finished\n"))
        << sw;
    EXPECT_EQ(Query(0, "live"), "0");
    EXPECT_EQ(gErrors.load(), 0u);
    ExpectStopThenStart(64, 48);
    EXPECT_EQ(Stats().frees, 1) << "the inactive block freed at stop";
}

TEST_F(Faults, LiveStartFailureAtOpenReportsTheCountersAndAStreamSwitchStartsIt) {
    AddCamera("A", 1);
    // Counters raised before the camera opens: no window is registered yet.
    EXPECT_EQ(sim_post_event(0, 3, 3, 0xA2, 3), -1);
    sim_fail("is_CaptureVideo", 108, 1);
    Start(false);
    const std::string log = TakeStartLog();
    EXPECT_TRUE(Has(log, "***** UEYECAM OpenCamera8\n***** UEYECAM streaming live video\n"
                         "***** UEYECAM OpenCamera failure: 108\nIS_CAP_STATUS_COUNT: 3\n"
                         "IS_CAP_STATUS_API_NO_DEST_MEM: 3\n***** UEYECAM OnInitDialog2\n"))
        << log;
    EXPECT_FALSE(Has(log, "OpenCamera9"));
    EXPECT_EQ(Calls("is_CaptureStatus").size(), 2u) << "read, then reset";
    EXPECT_EQ(FramesDuring(300), 0u);
    EXPECT_EQ(gErrors.load(), 0u) << "a failed start is no camera event";
    ExpectOpenCameraAnswers(64, 48);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 0), 1);
    const std::string sw = TakeLog();
    EXPECT_TRUE(Has(sw, "MySetStreamId found i = 0\nMySetStreamId starting new...\n")) << sw;
    EXPECT_TRUE(Has(sw, "MySetStreamId success t=")) << sw;
    ASSERT_TRUE(trvtest::MoreFrames(3));
    EXPECT_EQ(trvtest::LastFrameSize(), "64x48");
    ExpectStopThenStart(64, 48);
}

// ---- Camera events ----

class EventStorm : public Faults {
  protected:
    void StartLive() {
        AddCamera("EV", 1);
        Start(true);
        TakeLog();
        sim_journal_clear();
    }
    // Every failed transfer reads the capture status and then resets it, in turn.
    void ExpectStatusReadThenResetPerEvent(size_t events) {
        const std::vector<std::string> status = Calls("is_CaptureStatus");
        ASSERT_EQ(status.size(), 2 * events);
        for (size_t i = 0; i < events; ++i) {
            EXPECT_TRUE(Has(status[2 * i], "cmd=2 ")) << i << ": " << status[2 * i];
            EXPECT_TRUE(Has(status[2 * i + 1], "cmd=1 ")) << i << ": " << status[2 * i + 1];
        }
    }
    void ExpectStillServing() {
        ASSERT_TRUE(trvtest::MoreFrames(3)) << "frames after the storm";
        ExpectOpenCameraAnswers(64, 48);
        ExpectStopThenStart(64, 48);
    }
};

TEST_F(EventStorm, TransferFailuresCallTheHostOncePerEventAfterItsLines) {
    StartLive();
    constexpr uint32_t kEvents = 200;
    for (uint32_t i = 0; i < kEvents; ++i) {
        ASSERT_EQ(sim_post_event(0, 3, 1, 0xB2, 1), 0);
    }
    ASSERT_TRUE(WaitForErrors(kEvents)) << gErrors << " error calls";
    const std::vector<std::string> before = BeforeError();
    ASSERT_EQ(before.size(), kEvents);
    // Events queue up faster than they are handled: a read may take the counters of later
    // events too, and one that finds them taken reports 0. Each reports a consistent pair.
    const std::string head = "OnUEyeMessage IS_TRANSFER_FAILED\nIS_CAP_STATUS_COUNT: ";
    uint64_t reported = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        const std::string lines = WithoutSlowFrames(before[i]);
        ASSERT_EQ(lines.rfind(head, 0), 0u) << "call " << i << " before its lines:\n" << lines;
        const unsigned long n = std::strtoul(lines.c_str() + head.size(), nullptr, 10);
        const std::string count = std::to_string(n);
        EXPECT_EQ(lines, head + count + "\n" +
                             (n != 0 ? "IS_CAP_STATUS_DRV_OUT_OF_BUFFERS: " + count + "\n" : ""))
            << "call " << i;
        reported += n;
    }
    EXPECT_GE(reported, 1u);
    EXPECT_LE(reported, kEvents) << "more failures reported than the camera counted";
    ExpectStatusReadThenResetPerEvent(kEvents);
    EXPECT_EQ(TakeLog(), "") << "nothing after the last call";
    ExpectStillServing();
}

TEST_F(EventStorm, QuietTransferFailuresWithCamErrorLogOff) {
    settings.Set(L"CamErrorLog", L"0");
    StartLive();
    // 0xC7 is reported only in the verbose report, 0xB2 always.
    for (uint32_t i = 0; i < 100; ++i) {
        ASSERT_EQ(sim_post_event(0, 3, 1, 0xC7, 1), 0);
    }
    for (uint32_t i = 0; i < 100; ++i) {
        ASSERT_EQ(sim_post_event(0, 3, 1, 0xB2, 1), 0);
    }
    ASSERT_TRUE(WaitForErrors(200)) << gErrors << " error calls";
    const std::vector<std::string> before = BeforeError();
    ASSERT_EQ(before.size(), 200u);
    const std::string row = "IS_CAP_STATUS_DRV_OUT_OF_BUFFERS: ";
    uint64_t reported = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        const std::string lines = WithoutSlowFrames(before[i]);
        if (lines.empty()) {
            continue;
        }
        ASSERT_EQ(lines.rfind(row, 0), 0u) << "call " << i << ":\n" << lines;
        const unsigned long n = std::strtoul(lines.c_str() + row.size(), nullptr, 10);
        EXPECT_EQ(lines, row + std::to_string(n) + "\n") << "call " << i;
        EXPECT_GT(n, 0u);
        reported += n;
    }
    EXPECT_GE(reported, 1u);
    EXPECT_LE(reported, 100u);
    ExpectStatusReadThenResetPerEvent(200);
    ExpectStillServing();
}

TEST_F(EventStorm, GenericErrorsAndFailedTransfersInTheirOrder) {
    StartLive();
    // At every error call, another thread of the host sends a command and gets its answer.
    CommandProbe probe(host);
    std::optional<ProbeInstalled> installed(std::in_place, probe);
    // The camera's counters stay at 0: every failed transfer reports exactly that.
    std::vector<int32_t> codes;
    for (int i = 0; i < 90; ++i) {
        codes.push_back(i % 3 == 1 ? 7 : 3);
    }
    for (int32_t code : codes) {
        ASSERT_EQ(sim_post_event(0, code, 0, -1, 0), 0);
    }
    ASSERT_TRUE(WaitForErrors(static_cast<uint32_t>(codes.size())));
    const std::vector<std::string> before = BeforeError();
    ASSERT_EQ(before.size(), codes.size());
    for (size_t i = 0; i < codes.size(); ++i) {
        EXPECT_EQ(WithoutSlowFrames(before[i]),
                  codes[i] == 7 ? "OnUEyeMessage IS_GENERIC_ERROR\n"
                                : "OnUEyeMessage IS_TRANSFER_FAILED\nIS_CAP_STATUS_COUNT: 0\n")
            << "call " << i;
    }
    ExpectStatusReadThenResetPerEvent(60);
    EXPECT_EQ(gProbeFailures.load(), 0u) << probe.blocked << " commands blocked during a call";
    // A status that cannot be read is logged; the counters are reset and the host called all
    // the same.
    sim_journal_clear();
    sim_fail("is_CaptureStatus:2", 5, 1);
    ASSERT_EQ(sim_post_event(0, 3, 1, 0xB2, 1), 0);
    ASSERT_TRUE(WaitForErrors(91));
    EXPECT_EQ(WithoutSlowFrames(BeforeError().back()),
              "OnUEyeMessage IS_TRANSFER_FAILED\nIsTransferFailed ERROR: is_CaptureStatus=5\n");
    const std::vector<std::string> status = Calls("is_CaptureStatus");
    ASSERT_EQ(status.size(), 2u);
    EXPECT_TRUE(Has(status[1], "cmd=1 ") && Has(status[1], "-> 0")) << status[1];
    // Events the plug-in enabled but does not report call nobody.
    ASSERT_EQ(sim_post_event(0, 2, 0, -1, 0), 0);
    EXPECT_TRUE(WaitForErrors(91));
    EXPECT_EQ(gProbeFailures.load(), 0u);
    installed.reset();
    ExpectStillServing();
}

// ---- Lens data and outputs ----

class LensFaults : public Faults {
  protected:
    void StartWithRecord(const char* ioLimits) {
        AddCamera("L1", 1);
        ASSERT_EQ(sim_configure(0, "user_memory", trvtest::LensRecord{}.Hex().c_str()), 0);
        ASSERT_EQ(sim_configure(0, "io_limits", ioLimits), 0);
        Start(true);
        TakeLog();
        sim_journal_clear();
    }
    int32_t CamRes(TrvPraxCamResParams& block) { return host.CamRes(block); }
    int32_t Control(int32_t type, double percent) { return host.Control(type, percent); }
    void ExpectGoodRead() {
        TrvPraxCamResParams block = {0.0, 0.0};
        EXPECT_EQ(CamRes(block), 1);
        EXPECT_DOUBLE_EQ(block.dResX, 5.5);
        EXPECT_TRUE(Has(TakeLog(), " ok=1 dtRead="));
    }
};

TEST_F(LensFaults, CameraMemoryFailuresForBothCommands) {
    StartWithRecord("0 10000");
    struct Case {
        const char* name;
        const char* fault;           // failed twice: once for each command
        const char* reportedSize;    // user_memory_size, or null
        const char* line;            // logged by each read, or null
        size_t sizeCalls, readCalls; // of the two commands together
    };
    const Case cases[] = {
        {"size query fails", "is_CameraMemory:6", nullptr, nullptr, 2, 0},
        {"read fails", "is_CameraMemory:4", nullptr, nullptr, 2, 2},
        {"size of all bits", nullptr, "4294967295", "ReadPraxCamData size=4294967295 too large\n",
         2, 0},
        {"size shorter than a record", nullptr, "40",
         "ReadPraxCamData size=40 shorter than a record\n", 2, 2},
        {"size past the stored data", nullptr, "64", nullptr, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_journal_clear();
        if (c.fault != nullptr) {
            sim_fail(c.fault, 5, 2);
        }
        if (c.reportedSize != nullptr) {
            ASSERT_EQ(sim_configure(0, "user_memory_size", c.reportedSize), 0);
        }
        TrvPraxCamResParams block = {7.0, 7.0};
        EXPECT_EQ(CamRes(block), 0);
        EXPECT_EQ(block.dResX, 7.0) << "the block is left as the host filled it";
        EXPECT_EQ(block.dResY, 7.0);
        EXPECT_EQ(Control(0, 50.0), 1);
        const std::string log = TakeLog();
        EXPECT_TRUE(Has(log, "PraxCamRes hCam=1 datasetMajor=0 datasetMinor=0 productRange=0 "
                             "modelNumber=0 ok=0 dtRead="))
            << log;
        EXPECT_TRUE(Has(log, "PraxCamRes hCam=1 calibration=0 calibrationUnits=0 xres=7 yres=7\n"))
            << log;
        EXPECT_FALSE(Has(log, "NULL resolution"));
        EXPECT_TRUE(Has(log, "PraxControl hCam=1 type=0 percent=50 ok1=0 ok2=0 dtRead=")) << log;
        EXPECT_EQ(CountOf(log, c.line != nullptr ? c.line : "ReadPraxCamData"),
                  c.line != nullptr ? 2u : 0u)
            << log;
        size_t sizes = 0, reads = 0;
        for (const std::string& l : Calls("is_CameraMemory")) {
            sizes += Has(l, " cmd=6 ") ? 1 : 0;
            reads += Has(l, " cmd=4 ") ? 1 : 0;
        }
        EXPECT_EQ(sizes, c.sizeCalls);
        EXPECT_EQ(reads, c.readCalls);
        EXPECT_TRUE(Calls("is_IO").empty()) << "no output is touched without a record";
        // The next read finds the record again: nothing of the failure is kept.
        ASSERT_EQ(sim_configure(0, "user_memory_size", "-1"), 0);
        ExpectGoodRead();
    }
    EXPECT_EQ(gErrors.load(), 0u);
    ASSERT_TRUE(trvtest::MoreFrames(3));
    ExpectOpenCameraAnswers(64, 48);
    ExpectStopThenStart(64, 48);
}

TEST_F(LensFaults, OutputCallFailuresOfCommand43) {
    // Limits 8000 to 10000: output 0's base 7000 is raised, output 1's 20000 lowered.
    StartWithRecord("8000 10000");
    struct Case {
        const char* name;
        const char* fault;
        int count;
        int32_t type;
        bool ok2;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"lower limit unknown: base sent as stored, refused by the camera",
         "is_IO:22",
         1,
         0,
         true,
         {LimitLine(22, 5, 0), LimitLine(23, 0, 10000), LevelLine(7000, 0.25, 125), ApplyLine(0)}},
        {"upper limit unknown",
         "is_IO:23",
         1,
         0,
         true,
         {LimitLine(22, 0, 8000), LimitLine(23, 5, 0), LevelLine(8000, 0.25, 0), ApplyLine(0)}},
        {"level refused: only the apply decides",
         "is_IO:26",
         1,
         0,
         true,
         {LimitLine(22, 0, 8000), LimitLine(23, 0, 10000), LevelLine(8000, 0.25, 5), ApplyLine(0)}},
        {"apply refused",
         "is_IO:28",
         1,
         0,
         false,
         {LimitLine(22, 0, 8000), LimitLine(23, 0, 10000), LevelLine(8000, 0.25, 0), ApplyLine(5)}},
        {"every output call refused",
         "is_IO",
         4,
         0,
         false,
         {LimitLine(22, 5, 0), LimitLine(23, 5, 0), LevelLine(7000, 0.25, 5), ApplyLine(5)}},
        {"output switch refused: the final apply decides",
         "is_IO:30",
         1,
         1,
         true,
         {LimitLine(22, 0, 8000), LimitLine(23, 0, 10000), LevelLine(10000, 0, 0), ApplyLine(0),
          ConfigLine(1, 5), LevelLine(10000, 0.4, 0), ApplyLine(0)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_journal_clear();
        sim_fail(c.fault, 5, c.count);
        EXPECT_EQ(Control(c.type, 50.0), 1);
        EXPECT_EQ(Calls("is_IO"), c.calls);
        const std::string log = TakeLog();
        EXPECT_TRUE(Has(log, "PraxControl hCam=1 type=" + std::to_string(c.type) +
                                 " percent=50 ok1=1 ok2=" + (c.ok2 ? "1" : "0") + " dtRead="))
            << log;
    }
    ExpectGoodRead();
    EXPECT_EQ(gErrors.load(), 0u);
    ASSERT_TRUE(trvtest::MoreFrames(3));
    ExpectOpenCameraAnswers(64, 48);
    ExpectStopThenStart(64, 48);
}

// ---- Parameter files ----

TEST_F(Faults, RefusedParameterFilesLeaveTheCameraAsItWas) {
    AddCamera("A", 1);
    // A file of the host's INI kind where the camera's own format is expected.
    WriteConfigFile(L"ueyecam.ini", "[video]\ntrigger=2\n");
    const TrvStartParams b = Start(true);
    EXPECT_EQ(b.nSizeX, 64);
    const std::string dir = ConfigDir();
    const std::string opened = TakeStartLog();
    EXPECT_TRUE(Has(opened, "LoadFile3: " + dir + "ueyecam.ini\nLoadFile Param File NOT loaded: " +
                                dir + "ueyecam.ini\n***** UEYECAM OpenCamera4\n"))
        << opened;
    EXPECT_EQ(trvtest::LastFrameSize(), "64x48");

    struct Case {
        const wchar_t* name;
        const char* text; // null: a folder of that name
        bool found, loaded;
        const char* frames; // size of the frames afterwards
    };
    const Case cases[] = {
        {L"hostfile.ini", "[video]\nCamSN=1\n", true, false, "64x48"},
        {L"badaoi.ini", "[sim-camera-parameters]\naoi=1 1 33 5\n", true, false, "64x48"},
        {L"empty.ini", "", true, false, "64x48"},
        {L"folder.ini", nullptr, false, false, "64x48"},
        {L"good.ini", "[sim-camera-parameters]\naoi=0 0 32 16\n", true, true, "32x16"},
    };
    for (const Case& c : cases) {
        const std::string name = ToUtf8(c.name);
        SCOPED_TRACE(name);
        if (c.text != nullptr) {
            WriteConfigFile(c.name, c.text);
        } else {
            ASSERT_TRUE(settings.MakeConfigFolder(c.name));
        }
        sim_journal_clear();
        EXPECT_EQ(host.Cmd(_TRV_DSHOW_CMD_RESET_CONFIG, reinterpret_cast<intptr_t>(c.name)), 1);
        const std::string log = TakeLog();
        const std::string path = dir + name;
        EXPECT_TRUE(Has(log, "MyResetConfig load new config\nMyReloadFile2 file=" + path +
                                 " found=" + (c.found ? "1" : "0") + "\nLoadFile Param File " +
                                 (c.loaded ? "loaded: " : "NOT loaded: ") + path + "\n"))
            << log;
        EXPECT_TRUE(Has(log, "MyResetConfig is_CaptureVideo... retval=1\nMyResetConfig complete\n"))
            << log;
        const std::vector<std::string> files = Calls("is_ParameterFile");
        ASSERT_EQ(files.size(), 1u);
        EXPECT_TRUE(Has(files[0], c.loaded ? " -> 0" : " -> 188")) << files[0];
        EXPECT_EQ(Setting(L"CamShareLast"), c.loaded ? "-1" : "<none>");
        ASSERT_TRUE(trvtest::MoreFrames(3)) << "live again after the reload";
        ASSERT_TRUE(trvtest::MoreFrames(1));
        EXPECT_EQ(trvtest::LastFrameSize(), c.frames);
    }
    // A shared configuration whose file is refused: no id remembered, the camera goes on with
    // the parameters it had.
    settings.Set(L"CamShareConfig", L"1");
    WriteConfigFile(L"ueyecam_7.ini", "not a parameter file\n");
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 7), 1);
    const std::string shared = TakeLog();
    EXPECT_TRUE(Has(shared, "MySetStreamId load new config\nMyReloadFile1 file=" + dir +
                                "ueyecam_7.ini found=1\nLoadFile Param File NOT loaded: " + dir +
                                "ueyecam_7.ini\n"))
        << shared;
    EXPECT_TRUE(Has(shared, "MySetStreamId success1\n")) << shared;
    EXPECT_EQ(Setting(L"CamShareLast"), "-1");
    ASSERT_TRUE(trvtest::MoreFrames(4));
    EXPECT_EQ(trvtest::LastFrameSize(), "32x16");
    EXPECT_EQ(gErrors.load(), 0u);
    ExpectOpenCameraAnswers(32, 16);
    ExpectStopThenStart(32, 16);
}

TEST_F(Faults, RefusedSerialFileFallsBackToTheDefaultFile) {
    AddCamera("SN1", 1);
    settings.Set(L"CamSN_1", L"SN1");
    WriteConfigFile(L"ueyecam_SN1.ini", "\x01\x02 binary junk \xff\n");
    WriteConfigFile(L"ueyecam.ini", "[sim-camera-parameters]\naoi=0 0 32 16\n");
    const TrvStartParams b = Start(false);
    EXPECT_EQ(b.nSizeX, 32);
    EXPECT_EQ(b.nSizeY, 16);
    const std::string dir = ConfigDir();
    const std::string log = TakeStartLog();
    EXPECT_TRUE(Has(log, "LoadFile2 file=" + dir + "ueyecam_SN1.ini found=1\n" +
                             "LoadFile Param File NOT loaded: " + dir + "ueyecam_SN1.ini\n" +
                             "LoadFile3: " + dir + "ueyecam.ini\n" +
                             "LoadFile Param File loaded: " + dir + "ueyecam.ini\n"))
        << log;
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 1), 1);
    ASSERT_TRUE(trvtest::MoreFrames(3));
    EXPECT_EQ(trvtest::LastFrameSize(), "32x16");
    EXPECT_EQ(gErrors.load(), 0u);
    ExpectOpenCameraAnswers(32, 16);
    ExpectStopThenStart(32, 16);
}

// ---- A camera that posts nothing ----

TEST_F(Faults, StreamSwitchToACameraThatStoppedPostingFramesFailsWithinItsWait) {
    AddCamera("SN2", 2, 40, 30);
    AddCamera("SN5", 5, 80, 60);
    settings.Set(L"CamSN_2", L"SN2");
    settings.Set(L"CamSN_5", L"SN5");
    Start(false);
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 2), 1);
    ASSERT_TRUE(trvtest::MoreFrames(3));
    EXPECT_EQ(trvtest::LastFrameSize(), "40x30");
    TakeLog();
    ASSERT_EQ(sim_configure(1, "stalled", "1"), 0);
    const DWORD start = GetTickCount();
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 5), 1);
    EXPECT_LT(GetTickCount() - start, 15000u) << "the wait for a first frame is bounded";
    const std::string log = TakeLog();
    EXPECT_TRUE(Has(log, "MySetStreamId stopping current...\nMySetStreamId starting new...\n"
                         "MySetStreamId waiting for image...\n"))
        << log;
    EXPECT_GE(NumberAfter(log, "MySetStreamId fail t="), 2000) << log;
    EXPECT_TRUE(Has(log, " count=0\nMySetStreamId finished\n")) << log;
    EXPECT_EQ(Query(0, "live"), "0");
    EXPECT_EQ(Query(1, "live"), "1") << "started, only silent";
    EXPECT_EQ(FramesDuring(300), 0u);
    EXPECT_EQ(gErrors.load(), 0u) << "silence is no camera event";
    // The silent camera is current: the commands answer for it.
    ExpectOpenCameraAnswers(80, 60);
    // Once it posts again its frames reach the host without another switch.
    ASSERT_EQ(sim_configure(1, "stalled", "0"), 0);
    ASSERT_TRUE(trvtest::MoreFrames(3));
    EXPECT_EQ(trvtest::LastFrameSize(), "80x60");
    ASSERT_EQ(host.Cmd(_TRV_DSHOW_CMD_SET_STREAM_ID, 2), 1);
    EXPECT_TRUE(Has(TakeLog(), "MySetStreamId success t="));
    ASSERT_TRUE(trvtest::MoreFrames(3));
    EXPECT_EQ(trvtest::LastFrameSize(), "40x30");
    ExpectStopThenStart(40, 30);
}

} // namespace
