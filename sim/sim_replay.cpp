// Replay mode of the call frame: answers from the tool that follows a recording (sim_replay.h).
#include "sim_replay.h"

#include "ueye/ueye_api.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

namespace sim {

namespace {

constexpr int64_t kMostReplayBlockBytes = int64_t{512} << 20;

std::atomic<SimReplayAsk> gAsk{nullptr};
std::atomic<SimReplayChecked> gChecked{nullptr};
std::atomic<void*> gArg{nullptr};

// Image memory of replayed allocations, by camera handle and recorded memory id; under the
// library's lock.
std::map<std::pair<uint32_t, int64_t>, char*> gBlocks;

// "name=N" in a journal head or an answer, or `fallback`.
int64_t Field(const std::string& text, const char* name, int64_t fallback) {
    const std::string spaced = " " + text + " ";
    const std::string key = std::string(" ") + name + "=";
    const size_t at = spaced.find(key);
    if (at == std::string::npos) {
        return fallback;
    }
    const size_t from = at + key.size();
    int64_t v = 0;
    return ParseInt(spaced.substr(from, spaced.find(' ', from) - from), v) ? v : fallback;
}

void FreeBlocks(uint32_t hCam, int64_t id) {
    for (auto it = gBlocks.begin(); it != gBlocks.end();) {
        if (it->first.first == hCam && (id < 0 || it->first.second == id)) {
            delete[] it->second;
            it = gBlocks.erase(it);
        } else {
            ++it;
        }
    }
}

// The image memory a replayed allocation hands out: as large as the call asks, zeroed.
int32_t Allocate(const std::string& head, const std::string& answer, const Outs& outs) {
    const int64_t w = Field(head, "w", 0), h = Field(head, "h", 0), bits = Field(head, "bits", 0);
    const int64_t bytes = w * h * (bits / 8);
    if (w <= 0 || h <= 0 || bits <= 0 || w > INT32_MAX / h || bytes > kMostReplayBlockBytes ||
        outs.at[1] == nullptr) {
        return kNoMemory;
    }
    const uint32_t hCam = static_cast<uint32_t>(Field(head, "hCam", 0));
    const int64_t id = Field(answer, "id", 0);
    FreeBlocks(hCam, id);
    char* block = new char[static_cast<size_t>(bytes)]();
    gBlocks[{hCam, id}] = block;
    *static_cast<char**>(outs.at[1]) = block;
    return 0;
}

} // namespace

ReplayTurn::ReplayTurn(const char* call, const std::string& head) : m_call(call), m_head(head) {
    SimReplayAsk ask = gAsk.load();
    if (ask == nullptr) {
        return;
    }
    m_on = true;
    ask(gArg.load(), call, head.c_str(), &m_answer);
    m_outs = m_answer.outs != nullptr ? m_answer.outs : "";
}

UeyeStatus ReplayTurn::Answer(const Outs& outs) {
    State& s = Get();
    std::lock_guard<std::mutex> g(s.lock);
    int32_t result = m_answer.result;
    const std::string text = "result=" + std::to_string(result) + " " + m_outs;
    std::string journalOuts = m_outs;
    if (WriteOuts(m_call, outs, text, result) != 0) {
        journalOuts = "refused:" + m_outs;
    }
    const std::string call = m_call;
    const uint32_t hCam = static_cast<uint32_t>(Field(m_head, "hCam", 0));
    if (call == "is_ImageMemAlloc" && result == 0) {
        result = Allocate(m_head, m_outs, outs);
    } else if (call == "is_ImageMemFree") {
        FreeBlocks(hCam, Field(m_head, "id", -1));
    } else if (call == "is_CameraExit") {
        FreeBlocks(hCam, -1);
    }
    Journal(s, m_head + " -> " + std::to_string(result) + (journalOuts.empty() ? "" : " ") +
                   journalOuts);
    return result;
}

void ReplayTurn::Check(State& s, int32_t& result, std::string& journalOuts, const Outs& outs) {
    if (!m_on) {
        return;
    }
    if (SimReplayChecked checked = gChecked.load()) {
        checked(gArg.load(), m_call, m_head.c_str(), result, journalOuts.c_str());
    }
    const std::string call = m_call;
    const int64_t simHandle = Field(journalOuts, "hCam", -1);
    const int64_t simId = Field(journalOuts, "id", -1);
    const int32_t simResult = result;
    result = m_answer.result;
    if (WriteOuts(m_call, outs, "result=" + std::to_string(result) + " " + m_outs, result) != 0) {
        return;
    }
    journalOuts = m_outs;
    if (call == "is_CameraInit" && simResult == 0 && result == 0) {
        // The camera goes on under the handle the plug-in was given.
        const uint32_t recorded = static_cast<uint32_t>(Field(m_outs, "hCam", 0));
        Camera* opened = Open(s, static_cast<uint32_t>(simHandle));
        if (Camera* other = Open(s, recorded); other != nullptr && other != opened) {
            other->handle = static_cast<uint32_t>(simHandle);
        }
        if (opened != nullptr) {
            opened->handle = recorded;
        }
    } else if (call == "is_ImageMemAlloc" && result == 0) {
        const uint32_t hCam = static_cast<uint32_t>(Field(m_head, "hCam", 0));
        const int64_t recorded = Field(m_outs, "id", 0);
        bool found = false;
        for (auto& [block, b] : s.memory) {
            if (simResult == 0 && b.owner == hCam && b.id == simId) {
                b.id = static_cast<int32_t>(recorded);
                found = true;
            }
        }
        if (!found) {
            result =
                Allocate(m_head, m_outs, outs); // the plug-in must not read a block that is not
        }
    }
}

} // namespace sim

SIM_API void sim_replay(SimReplayAsk ask, SimReplayChecked checked, void* arg) {
    sim::gArg = arg;
    sim::gChecked = checked;
    sim::gAsk = ask;
}
