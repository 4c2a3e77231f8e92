#include "host_commands.h"

#include "infra/trv_params.h"

#include <cmath>
#include <limits>
#include <string>

using trv::replay::FieldOf;
using trv::replay::IntOf;
using trv::replay::Json;

namespace {

constexpr int64_t kStreamSwitch = 32;
constexpr UINT_PTR kHoldTimer = 1;

// The host thread's own: what its window's timer holds it for.
struct Held {
    HostCommands* host = nullptr;
    const trv::replay::Thread* thread = nullptr;
    bool waiting = false; // inside a command that waits for frames
};
thread_local Held tHeld;

std::atomic<uint64_t> gFrames{0};
std::atomic<uint64_t> gErrors{0};

void OnFrame(unsigned char*, int32_t, int32_t, int32_t, intptr_t, int32_t) {
    ++gFrames;
}

void OnError() {
    ++gErrors;
}

// A double of the recording: a number, or "inf", "-inf", "nan".
double Double(const Json& v) {
    if (v.is_number()) {
        return v.get<double>();
    }
    const std::string s = v.is_string() ? v.get<std::string>() : "";
    return s == "inf"    ? std::numeric_limits<double>::infinity()
           : s == "-inf" ? -std::numeric_limits<double>::infinity()
           : s == "nan"  ? std::numeric_limits<double>::quiet_NaN()
                         : 0.0;
}

int32_t Int32(const Json& in, const char* key) {
    return static_cast<int32_t>(IntOf(in, key));
}

// A wide string of a block, kept for the command's length; null for null.
struct WideText {
    explicit WideText(const Json& v)
        : present(v.is_string()), text(Wide(present ? v.get<std::string>() : "")) {}
    const wchar_t* get() const { return present ? text.c_str() : nullptr; }
    bool present;
    std::wstring text;
};

} // namespace

HostCommands::HostCommands(Session& session, Follower& follower, Environment& env, TrvCmdFn cmd)
    : m_session(session), m_follower(follower), m_env(env), m_cmd(cmd) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &HostWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TrvReplayHost";
    RegisterClassW(&wc);
    for (const trv::replay::Thread& t : session.plan.threads) {
        if (t.role == "host") {
            ++m_running;
            m_threads.emplace_back([this, &t] { Run(t); });
        }
    }
}

HostCommands::~HostCommands() {
    for (std::thread& t : m_threads) {
        t.detach(); // a thread may still wait inside the plug-in when the replay ends
    }
}

uint64_t HostCommands::Frames() const {
    return gFrames;
}

uint64_t HostCommands::Errors() const {
    return gErrors;
}

LRESULT CALLBACK HostCommands::HostWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    const Held& h = tHeld;
    if (msg != WM_TIMER || !h.waiting) {
        return DefWindowProcW(window, msg, wParam, lParam);
    }
    // Held until every record before this thread's next one has happened.
    h.host->m_follower.CatchUp();
    const size_t k = h.host->m_follower.Matched(h.thread->th);
    if (k < h.thread->compared.size()) {
        h.host->m_session.Hold(h.thread->th, h.thread->compared[k]);
    }
    return 0;
}

void HostCommands::Run(const trv::replay::Thread& t) {
    m_session.RegisterHost(GetCurrentThreadId(), t.th);
    tHeld = {this, &t, false};
    HWND window = CreateWindowExW(0, L"TrvReplayHost", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    for (size_t cmd : t.commands) {
        if (!m_session.Wait(cmd)) {
            break;
        }
        auto writes = m_session.plan.afterGate.find(cmd);
        if (writes != m_session.plan.afterGate.end()) {
            for (const trv::replay::EnvWrite& w : writes->second) {
                m_env.Apply(w);
            }
        }
        const trv::replay::Record& r = m_session.rec.records[cmd];
        const bool waits = IntOf(r.j, "code") == kStreamSwitch && window != nullptr;
        if (waits) {
            tHeld.waiting = true;
            SetTimer(window, kHoldTimer, 1, nullptr);
        }
        Issue(r);
        if (waits) {
            tHeld.waiting = false;
            KillTimer(window, kHoldTimer);
            MSG msg;
            while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
            }
        }
    }
    --m_running;
}

int32_t HostCommands::Issue(const trv::replay::Record& cmd) {
    const int32_t code = Int32(cmd.j, "code");
    const Json& in = FieldOf(cmd.j, "in");
    if (in.contains("arg") || !in.is_object()) {
        // A value, or a block command handed a null block.
        const int64_t arg = IntOf(in, "arg");
        return m_cmd(code, static_cast<intptr_t>(arg));
    }
    auto callback = [&](const char* key) { return !FieldOf(in, key).is_null(); };
    switch (code) {
    case _TRV_DSHOW_CMD_START: {
        // What START does not write stays as the host had it: its recorded return shows that.
        TrvStartParams b = {};
        const auto& records = m_session.rec.records;
        for (size_t i = cmd.n; i < records.size(); ++i) { // records[n - 1] is record n
            if (records[i].kind == "ret" && records[i].th == cmd.th) {
                b.nSizeX = Int32(FieldOf(records[i].j, "out"), "nSizeX");
                b.nSizeY = Int32(FieldOf(records[i].j, "out"), "nSizeY");
                break;
            }
        }
        b.frameCallback = callback("frameCallback") ? &OnFrame : nullptr;
        b.errorCallback = callback("errorCallback") ? &OnError : nullptr;
        const Json& dir = FieldOf(in, "configDir");
        const bool mapped = dir.is_string() && dir.get<std::string>() == m_env.RecordedDir();
        const WideText configDir(dir), camFile(FieldOf(in, "camFileName")),
            section(FieldOf(in, "section"));
        b.pszConfigDir = mapped ? m_env.ReplayDir().c_str() : configDir.get();
        b.nFocusType = Int32(in, "focusType");
        b.pszCamFileName = camFile.get();
        b.pszSection = section.get();
        return m_cmd(code, reinterpret_cast<intptr_t>(&b));
    }
    case _TRV_DSHOW_CMD_GET_FOCUS_TYPE: {
        int32_t value = Int32(in, "value");
        return m_cmd(code, reinterpret_cast<intptr_t>(&value));
    }
    case _TRV_DSHOW_CMD_RESET_CONFIG: {
        const WideText name(FieldOf(in, "name"));
        return m_cmd(code, reinterpret_cast<intptr_t>(name.get()));
    }
    case _TRV_DSHOW_CMD_PRAX_CONTROL: {
        TrvPraxControlParams b = {Int32(in, "nType"), Double(FieldOf(in, "dPercent"))};
        return m_cmd(code, reinterpret_cast<intptr_t>(&b));
    }
    case _TRV_DSHOW_CMD_PRAX_CAM_RES: {
        TrvPraxCamResParams b = {Double(FieldOf(in, "dResX")), Double(FieldOf(in, "dResY"))};
        return m_cmd(code, reinterpret_cast<intptr_t>(&b));
    }
    case _TRV_DSHOW_CMD_AOI: {
        TrvAoiParams b = {Int32(in, "nMode"), Int32(in, "x"),     Int32(in, "y"), 0,
                          Int32(in, "width"), Int32(in, "height")};
        return m_cmd(code, reinterpret_cast<intptr_t>(&b));
    }
    case _TRV_DSHOW_CMD_GET_TIMING: {
        TrvTimingParams b = {Double(FieldOf(in, "dFrameRate")), Double(FieldOf(in, "dExposure"))};
        return m_cmd(code, reinterpret_cast<intptr_t>(&b));
    }
    case _TRV_DSHOW_CMD_SET_FRAME_CALLBACK: {
        TrvFrameCallback b = callback("frameCallback") ? &OnFrame : nullptr;
        return m_cmd(code, reinterpret_cast<intptr_t>(&b));
    }
    default:
        return m_cmd(code, 0);
    }
}
