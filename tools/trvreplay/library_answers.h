// The simulated library's side of a replay: each call the plug-in makes is matched with the next
// recorded call of its thread, waits for its gate and gets the recorded answer. Checking the
// simulator, the library's own answer is compared with the recorded one first.
#pragma once

#include "environment.h"
#include "session.h"

#include <string>
#include <vector>

class LibraryAnswers {
  public:
    LibraryAnswers(Session& session, Environment& env, bool checkSim);
    ~LibraryAnswers();
    LibraryAnswers(const LibraryAnswers&) = delete;
    LibraryAnswers& operator=(const LibraryAnswers&) = delete;

    // Where the simulator answered otherwise than the recorded library, one line each.
    std::vector<std::string> Differences();

  private:
    static void Ask(void* self, const char* call, const char* head, struct SimReplayAnswer* a);
    static void Checked(void* self, const char* call, const char* head, int32_t result,
                        const char* outs);

    Session& m_session;
    Environment& m_env;
    bool m_checkSim;
    std::mutex m_lock;
    std::map<int32_t, size_t> m_next; // recorded thread -> its calls answered
    std::vector<std::string> m_differences;
};
