// The state of one replay: how far the replayed session has come in the recording's order, the
// gates that wait for it, which replay thread plays which recorded thread, and the first
// difference found.
#pragma once

#include "replay/replay_compare.h"
#include "replay/replay_plan.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class Session {
  public:
    Session(const trv::replay::Recording& rec, const trv::replay::Plan& plan,
            trv::replay::Mapping mapping, std::chrono::milliseconds stall);

    const trv::replay::Recording& rec;
    const trv::replay::Plan& plan;
    const trv::replay::Mapping mapping;

    // The replay has made recorded record `record` happen.
    void Reached(size_t record);
    // Waits until every record before `record` in the plan's order has happened: false when the
    // replay ends first (a difference, or nothing happening for the stall time).
    bool Wait(size_t record);
    // The same, also until `ready()` (under the session's lock).
    template <class Ready> bool WaitUntil(size_t record, Ready ready);
    // Every compared record has happened.
    bool Complete();
    // Holds host thread `th`, inside a command that waits for frames, until every record before
    // `next` has happened; the frames it waits for are handled meanwhile (WaitHeld).
    void Hold(int32_t th, size_t next);
    // Waits until `th` is held and every record before `record` has happened.
    bool WaitHeld(int32_t th, size_t record);
    // Seconds since anything happened; ends the replay when that is the stall time.
    void CheckStall();

    // The first difference, at recorded record `record`; `replay` says what the replay did there.
    void Diverge(size_t record, const std::string& replay);
    // The same, once every record the replay has written so far is compared: one of them may
    // differ first.
    void DivergeAfterCatchUp(size_t record, const std::string& replay);
    std::function<void()> catchUp; // waits until the replay's records so far are compared
    bool Diverged();
    std::string Report();

    // Replay threads and recorded threads: a host thread plays the one it was made for; any
    // other thread the next recorded thread that is not a host's, in their order.
    void RegisterHost(DWORD tid, int32_t th);
    int32_t RecordedThread(DWORD tid);

    // "record n=12 (thread 2, camera, call is_AOI)"
    std::string Name(size_t record) const;
    // The recorded record as compared, for a report.
    std::string Shown(size_t record) const;

  private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<char> m_reached; // per position of the plan's order
    size_t m_frontier = 0;       // positions before it have all happened
    std::chrono::steady_clock::time_point m_lastChange;
    std::chrono::milliseconds m_stall;
    bool m_diverged = false;
    std::string m_report;
    std::map<DWORD, int32_t> m_threads;
    std::map<int32_t, bool> m_held;
    size_t m_nextOther = 0;
};

// A Unix path of the command line as Wine's Z: drive path; a Windows path stays.
std::wstring WindowsPath(const std::string& path);
std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& text);
