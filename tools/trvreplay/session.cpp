#include "session.h"

#include "replay/recording_reader.h"
#include "replay/replay_answer.h"

using trv::replay::Record;

Session::Session(const trv::replay::Recording& r, const trv::replay::Plan& p,
                 trv::replay::Mapping m, std::chrono::milliseconds stall)
    : rec(r), plan(p), mapping(std::move(m)), m_reached(p.order.size(), 0),
      m_lastChange(std::chrono::steady_clock::now()), m_stall(stall) {}

void Session::Reached(size_t record) {
    std::lock_guard<std::mutex> g(m_lock);
    const int64_t p = plan.position[record];
    if (p < 0) {
        return;
    }
    m_reached[static_cast<size_t>(p)] = 1;
    while (m_frontier < m_reached.size() && m_reached[m_frontier] != 0) {
        ++m_frontier;
    }
    m_lastChange = std::chrono::steady_clock::now();
    m_changed.notify_all();
}

bool Session::Wait(size_t record) {
    return WaitUntil(record, [] { return true; });
}

template <class Ready> bool Session::WaitUntil(size_t record, Ready ready) {
    const int64_t p = plan.position[record];
    std::unique_lock<std::mutex> g(m_lock);
    while (!m_diverged && ((p >= 0 && m_frontier < static_cast<size_t>(p)) || !ready())) {
        m_changed.wait_for(g, std::chrono::milliseconds(50));
        if (std::chrono::steady_clock::now() - m_lastChange > m_stall && !m_diverged) {
            g.unlock();
            CheckStall();
            g.lock();
        }
    }
    return !m_diverged;
}

void Session::Hold(int32_t th, size_t next) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_held[th] = true;
        m_changed.notify_all();
    }
    Wait(next);
    std::lock_guard<std::mutex> g(m_lock);
    m_held[th] = false;
}

bool Session::WaitHeld(int32_t th, size_t record) {
    return WaitUntil(record, [&] { return m_held[th]; });
}

bool Session::Complete() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_frontier == m_reached.size();
}

void Session::CheckStall() {
    size_t waiting = 0;
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_diverged || m_frontier == m_reached.size() ||
            std::chrono::steady_clock::now() - m_lastChange <= m_stall) {
            return;
        }
        waiting = plan.order[m_frontier];
    }
    DivergeAfterCatchUp(waiting, "nothing came for " + std::to_string(m_stall.count() / 1000) +
                                     " s: waiting for it");
}

void Session::Diverge(size_t record, const std::string& replay) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_diverged) {
        return;
    }
    m_diverged = true;
    m_report = "differs at " + Name(record) + ":\n  recording: " + Shown(record) +
               "\n  replay:    " + replay + "\n";
    // The answer the thread had last: where a changed answer shows first.
    for (size_t i = record; i-- > 0;) {
        const Record& r = rec.records[i];
        if (r.th == rec.records[record].th && r.kind == "call") {
            m_report +=
                "  after:     " + Name(i) + " answered " + trv::replay::AnswerText(r.j) + "\n";
            break;
        }
    }
    m_changed.notify_all();
}

void Session::DivergeAfterCatchUp(size_t record, const std::string& replay) {
    if (catchUp) {
        catchUp();
    }
    Diverge(record, replay);
}

bool Session::Diverged() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_diverged;
}

std::string Session::Report() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_report;
}

void Session::RegisterHost(DWORD tid, int32_t th) {
    std::lock_guard<std::mutex> g(m_lock);
    m_threads[tid] = th;
}

int32_t Session::RecordedThread(DWORD tid) {
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_threads.find(tid);
    if (it != m_threads.end()) {
        return it->second;
    }
    while (m_nextOther < plan.threads.size() && plan.threads[m_nextOther].role == "host") {
        ++m_nextOther;
    }
    const int32_t th = m_nextOther < plan.threads.size() ? plan.threads[m_nextOther++].th : 0;
    m_threads[tid] = th;
    return th;
}

std::string Session::Name(size_t record) const {
    const Record& r = rec.records[record];
    const trv::replay::Thread* t = trv::replay::ThreadOf(plan, r.th);
    std::string what = r.kind;
    if (r.kind == "call") {
        what.append(" ").append(trv::replay::TextOf(r.j, "fn"));
    } else if (r.kind == "cmd" || r.kind == "ret") {
        what.append(" ").append(std::to_string(trv::replay::IntOf(r.j, "code")));
    }
    return "record n=" + std::to_string(r.n) + " (thread " + std::to_string(r.th) + ", " +
           (t != nullptr ? t->role : std::string("?")) + ", " + what + ")";
}

std::string Session::Shown(size_t record) const {
    return trv::replay::Comparable(rec.records[record], nullptr);
}

std::wstring Wide(const std::string& utf8) {
    const std::u16string u = trv::replay::Utf16Of(utf8);
    return std::wstring(u.begin(), u.end());
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c < 128 ? static_cast<char>(c) : '?';
    }
    return out;
}

std::wstring WindowsPath(const std::string& path) {
    std::wstring w = Wide(path);
    if (!w.empty() && w[0] == L'/') {
        for (wchar_t& c : w) {
            c = c == L'/' ? L'\\' : c;
        }
        std::wstring drive = L"Z:";
        drive += w;
        return drive;
    }
    return w;
}
