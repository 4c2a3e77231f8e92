#include "library_answers.h"

#include "camera_events.h"
#include "replay/replay_answer.h"
#include "sim_replay.h"

namespace {

// The recorded call this thread is answering, and its answer's out-values.
thread_local size_t tCall = static_cast<size_t>(-1);
thread_local std::string tOuts;

} // namespace

LibraryAnswers::LibraryAnswers(Session& session, Environment& env, bool checkSim)
    : m_session(session), m_env(env), m_checkSim(checkSim) {
    sim_replay(&Ask, checkSim ? &Checked : nullptr, this);
}

LibraryAnswers::~LibraryAnswers() {
    sim_replay(nullptr, nullptr, nullptr);
}

std::vector<std::string> LibraryAnswers::Differences() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_differences;
}

void LibraryAnswers::Ask(void* self, const char* call, const char* head, SimReplayAnswer* a) {
    auto* me = static_cast<LibraryAnswers*>(self);
    Session& s = me->m_session;
    a->result = -1; // an answer for a call the recording does not have; the replay ends there
    a->outs = nullptr;
    a->runBody = 0;
    const int32_t th = s.RecordedThread(GetCurrentThreadId());
    const trv::replay::Thread* t = trv::replay::ThreadOf(s.plan, th);
    size_t k = 0;
    {
        std::lock_guard<std::mutex> g(me->m_lock);
        auto [it, first] = me->m_next.emplace(th, 0);
        k = it->second++;
        if (first && t != nullptr && t->role != "host") {
            AttachCameraWindow(s, me->m_env, th);
        }
    }
    const std::string here = std::string("the plug-in calls ") + head;
    if (t == nullptr || k >= t->calls.size()) {
        const size_t last = t != nullptr && !t->compared.empty() ? t->compared.back() : 0;
        s.DivergeAfterCatchUp(last,
                              here + (t == nullptr ? " on a thread the recording does not have"
                                                   : " (the recording has no more calls of "
                                                     "this thread)"));
        return;
    }
    const size_t record = t->calls[k];
    if (trv::replay::TextOf(s.rec.records[record].j, "fn") != call) {
        s.DivergeAfterCatchUp(record, here);
        return;
    }
    if (!s.Wait(record)) {
        return;
    }
    auto writes = s.plan.afterGate.find(record);
    if (writes != s.plan.afterGate.end()) {
        for (const trv::replay::EnvWrite& w : writes->second) {
            me->m_env.Apply(w);
        }
    }
    const std::string answer = trv::replay::AnswerText(s.rec.records[record].j);
    const size_t space = answer.find(' ');
    a->result = static_cast<int32_t>(std::stoll(answer.substr(7, space - 7)));
    tOuts = space == std::string::npos ? "" : answer.substr(space + 1);
    tCall = record;
    a->outs = tOuts.c_str();
    a->runBody = me->m_checkSim ? 1 : 0;
}

void LibraryAnswers::Checked(void* self, const char*, const char* head, int32_t result,
                             const char* outs) {
    auto* me = static_cast<LibraryAnswers*>(self);
    if (tCall >= me->m_session.rec.records.size()) {
        return;
    }
    const trv::replay::Record& r = me->m_session.rec.records[tCall];
    const std::string recorded = trv::replay::AnswerText(r.j);
    const std::string simulated = "result=" + std::to_string(result) + " " + outs;
    // Handles and memory ids are the library's to choose: the simulated camera takes the
    // recorded ones.
    auto chosen = [](const std::string& text) {
        std::string out;
        for (const auto& [k, v] : trv::replay::AnswerWords(text)) {
            if (k != "hCam" && k != "id") {
                out += k + "=" + v + " ";
            }
        }
        return out;
    };
    const std::string difference =
        trv::replay::AnswerDifference(chosen(recorded), chosen(simulated));
    if (!difference.empty()) {
        std::lock_guard<std::mutex> g(me->m_lock);
        me->m_differences.push_back("n=" + std::to_string(r.n) + " " + head + ": " + difference +
                                    "\n      recorded:  " + trv::replay::AnswerShown(recorded) +
                                    "\n      simulator: " + trv::replay::AnswerShown(simulated));
    }
    tCall = static_cast<size_t>(-1);
}
