// The host's side of a replay: one thread per recorded host thread, each issuing its commands
// with the recorded blocks (strings, values, callbacks present or null) when their gates open.
// Each has a window of its own: a stream switch lets the host's messages through while it waits
// for frames, and there the thread is held until the frames it waited for have come (a timer
// message brings it there).
#pragma once

#include "environment.h"
#include "follower.h"
#include "session.h"

#include <atomic>
#include <thread>
#include <vector>

using TrvCmdFn = int32_t (*)(int32_t, intptr_t);

class HostCommands {
  public:
    HostCommands(Session& session, Follower& follower, Environment& env, TrvCmdFn cmd);
    ~HostCommands();
    HostCommands(const HostCommands&) = delete;
    HostCommands& operator=(const HostCommands&) = delete;

    // Every host thread has issued its last command and had its answer.
    bool Done() const { return m_running == 0; }
    uint64_t Frames() const;
    uint64_t Errors() const;

  private:
    void Run(const trv::replay::Thread& t);
    int32_t Issue(const trv::replay::Record& cmd);
    static LRESULT CALLBACK HostWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    Session& m_session;
    Follower& m_follower;
    Environment& m_env;
    TrvCmdFn m_cmd;
    std::atomic<int> m_running{0};
    std::vector<std::thread> m_threads;
};
