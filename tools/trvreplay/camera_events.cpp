#include "camera_events.h"

#include <map>
#include <mutex>

namespace {

constexpr UINT kCameraMessage = 0x0500; // IS_UEYE_MESSAGE

// One camera thread's events; used only on that thread once attached.
struct Chain {
    Session* session;
    Environment* env;
    const trv::replay::Thread* thread;
    HWND window;
    WNDPROC original;
    size_t posted = 0; // events posted
    size_t taken = 0;  // events taken from the queue
};

std::mutex gLock;
std::map<HWND, Chain*> gChains;

Chain* ChainOf(HWND window) {
    std::lock_guard<std::mutex> g(gLock);
    auto it = gChains.find(window);
    return it == gChains.end() ? nullptr : it->second;
}

const trv::replay::Record& EventAt(const Chain& c, size_t k) {
    return c.session->rec.records[c.thread->events[k]];
}

void Post(Chain& c, size_t k) {
    if (k < c.thread->events.size() && c.posted == k) {
        const trv::replay::Record& e = EventAt(c, k);
        PostMessageW(c.window, kCameraMessage, static_cast<WPARAM>(trv::replay::IntOf(e.j, "code")),
                     static_cast<LPARAM>(static_cast<uint32_t>(trv::replay::IntOf(e.j, "cam"))));
        c.posted = k + 1;
    }
}

LRESULT CALLBACK ReplayWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    Chain* c = ChainOf(window);
    if (c == nullptr) {
        return DefWindowProcW(window, msg, wParam, lParam);
    }
    if (msg != kCameraMessage || c->taken >= c->thread->events.size()) {
        return CallWindowProcW(c->original, window, msg, wParam, lParam);
    }
    const size_t k = c->taken++;
    const size_t record = c->thread->events[k];
    if (c->session->plan.skipHead[record] != 0) {
        Post(*c, k + 1); // queued before this one is handled, as it was
    }
    const int32_t waiting = c->session->plan.waitingThread[record];
    if (!(waiting != 0 ? c->session->WaitHeld(waiting, record) : c->session->Wait(record))) {
        return 0; // the replay has ended
    }
    auto writes = c->session->plan.afterGate.find(record);
    if (writes != c->session->plan.afterGate.end()) {
        for (const trv::replay::EnvWrite& w : writes->second) {
            c->env->Apply(w);
        }
    }
    const LRESULT result = CallWindowProcW(c->original, window, msg, wParam, lParam);
    Post(*c, k + 1);
    return result;
}

BOOL CALLBACK FindCameraWindow(HWND window, LPARAM found) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (std::wstring(name) == L"MyCamWindowClass") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

void AttachCameraWindow(Session& session, Environment& env, int32_t th) {
    const trv::replay::Thread* t = trv::replay::ThreadOf(session.plan, th);
    HWND window = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindCameraWindow, reinterpret_cast<LPARAM>(&window));
    if (t == nullptr || window == nullptr || ChainOf(window) != nullptr) {
        return;
    }
    auto* c = new Chain{&session, &env, t, window, nullptr}; // lives as long as the window
    {
        std::lock_guard<std::mutex> g(gLock);
        gChains[window] = c;
    }
    c->original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ReplayWindowProc)));
    Post(*c, 0);
}
