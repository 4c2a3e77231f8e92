#include "follower.h"

using trv::replay::Record;

Follower::Follower(Session& session, std::wstring file)
    : m_session(session), m_file(std::move(file)), m_thread([this] { Run(); }) {}

Follower::~Follower() {
    m_stop = true;
    m_thread.join();
}

std::string Follower::LastOf(int32_t th) {
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_last.find(th);
    return it == m_last.end() ? std::string() : it->second;
}

std::string Follower::ReplayPlugin() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_plugin;
}

void Follower::CatchUp() {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExW(m_file.c_str(), GetFileExInfoStandard, &a)) {
        return;
    }
    const uint64_t size = (uint64_t{a.nFileSizeHigh} << 32) | a.nFileSizeLow;
    // A line another thread is writing is whole a moment later.
    for (int waited = 0; m_taken < size && waited < 10000 && !m_session.Diverged(); ++waited) {
        Sleep(1);
    }
}

size_t Follower::Matched(int32_t th) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_next[th];
}

void Follower::Run() {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string pending;
    while (!m_stop) {
        if (file == INVALID_HANDLE_VALUE) {
            file = CreateFileW(m_file.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        char chunk[65536];
        DWORD got = 0;
        if (file == INVALID_HANDLE_VALUE || !ReadFile(file, chunk, sizeof chunk, &got, nullptr) ||
            got == 0) {
            Sleep(1);
            continue;
        }
        pending.append(chunk, got);
        size_t at = 0;
        for (size_t end; (end = pending.find('\n', at)) != std::string::npos; at = end + 1) {
            Take(pending.substr(at, end - at));
            m_taken += end + 1 - at;
        }
        pending.erase(0, at);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}

void Follower::Take(const std::string& line) {
    Record r;
    std::string why;
    if (!trv::replay::ParseRecord(line, r, why)) {
        const trv::replay::Json header = trv::replay::Json::parse(line, nullptr, false);
        if (trv::replay::TextOf(header, "k") == "header") {
            std::lock_guard<std::mutex> g(m_lock);
            m_plugin = trv::replay::TextOf(header, "plugin");
        }
        return;
    }
    std::lock_guard<std::mutex> g(m_lock);
    const trv::replay::Plan& plan = m_session.plan;
    if (r.kind == "thread") {
        const DWORD tid = static_cast<DWORD>(trv::replay::IntOf(r.j, "tid"));
        m_threads[r.th] = m_session.RecordedThread(tid);
        return;
    }
    // Kinds a recording of an older plug-in does not have are left out of the comparison.
    const bool newer = (r.kind == "drop" || r.kind == "setting" || r.kind == "probe") &&
                       plan.kinds.count(r.kind) == 0;
    if (r.kind == "end" || !trv::replay::Compared(r) || newer) {
        return;
    }
    const int32_t th = m_threads[r.th];
    const std::string shown = trv::replay::Comparable(r, &m_session.mapping);
    const std::string replay = "record n=" + std::to_string(r.n) + " (thread " +
                               std::to_string(r.th) + ", " + r.kind + "): " + shown;
    m_last[th] = replay;
    const trv::replay::Thread* t = trv::replay::ThreadOf(plan, th);
    size_t& next = m_next[th];
    if (t != nullptr && next >= t->compared.size() && !m_session.rec.ended) {
        return; // the recording was cut short here: what the replay does after is not known
    }
    if (t == nullptr || next >= t->compared.size()) {
        // Nothing of that thread is left in the recording: name where its last record was.
        const size_t after = t != nullptr && !t->compared.empty() ? t->compared.back() : 0;
        m_session.Diverge(after, replay + "\n             (the recording has no more records "
                                          "of this thread)");
        return;
    }
    const size_t expected = t->compared[next];
    if (trv::replay::Comparable(m_session.rec.records[expected], nullptr) != shown) {
        m_session.Diverge(expected, replay);
        return;
    }
    ++next;
    m_session.Reached(expected);
}
