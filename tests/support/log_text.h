// Pieces of the plug-in's log as tests look for them.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace trvtest {

inline bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

inline size_t CountOf(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t p = text.find(piece); p != std::string::npos; p = text.find(piece, p + 1)) {
        ++n;
    }
    return n;
}

// The number logged right after `label`, or -1.
inline long NumberAfter(const std::string& log, const std::string& label) {
    const size_t at = log.find(label);
    return at == std::string::npos ? -1 : std::strtol(log.c_str() + at + label.size(), nullptr, 10);
}

// The pieces in this order, other text allowed between them: a line written piece by piece
// while another thread logs too.
inline bool HasInOrder(const std::string& text, const std::vector<std::string>& pieces) {
    size_t at = 0;
    for (const std::string& piece : pieces) {
        at = text.find(piece, at);
        if (at == std::string::npos) {
            return false;
        }
        at += piece.size();
    }
    return true;
}

} // namespace trvtest
