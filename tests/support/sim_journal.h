// The simulator's journal and state, as tests read them.
#pragma once

#include "sim_control.h"

#include <string>
#include <vector>

namespace trvtest {

inline std::vector<std::string> Journal() {
    std::vector<std::string> lines;
    char buf[4096];
    for (int i = 0; sim_journal_line(i, buf, sizeof buf) >= 0; ++i) {
        lines.emplace_back(buf);
    }
    return lines;
}

// The journal lines of one call, in order.
inline std::vector<std::string> Calls(const std::string& call) {
    std::vector<std::string> out;
    for (const std::string& l : Journal()) {
        if (l.rfind(call + " ", 0) == 0) {
            out.push_back(l);
        }
    }
    return out;
}

// A value of simulated camera `index` as sim_query gives it, "?" when there is none.
inline std::string SimQuery(int index, const char* key) {
    char buf[256] = {};
    return sim_query(index, key, buf, sizeof buf) >= 0 ? buf : "?";
}

} // namespace trvtest
