// Follows the replay's own recording as the plug-in writes it, record by record, and compares
// each with the recorded one at the same place of the same thread: a record that matches has
// happened (Session::Reached), the first that does not is the difference.
#pragma once

#include "session.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class Follower {
  public:
    Follower(Session& session, std::wstring file);
    ~Follower();
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;

    // The replay's last record of recorded thread `th`, for a report ("" when none).
    std::string LastOf(int32_t th);
    // The replay's header: the plug-in's version.
    std::string ReplayPlugin();
    // Waits until every whole line written so far has been taken.
    void CatchUp();
    // The compared records of recorded thread `th` matched so far.
    size_t Matched(int32_t th);

  private:
    void Run();
    void Take(const std::string& line);

    Session& m_session;
    std::wstring m_file;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_taken{0}; // bytes of the lines taken
    std::mutex m_lock;
    std::map<int32_t, int32_t> m_threads;  // replay thread -> recorded thread
    std::map<int32_t, size_t> m_next;      // recorded thread -> its compared records matched
    std::map<int32_t, std::string> m_last; // recorded thread -> the replay's last record
    std::string m_plugin;
    std::thread m_thread;
};
