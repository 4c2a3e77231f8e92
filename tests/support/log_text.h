// Reading the plug-in's log in tests: pieces, counts, and the lines of other threads that may
// fall between the lines a test compares.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <string>

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

// The pieces appear in this order, other text allowed between them: one line written piece by
// piece while another thread logs too.
inline bool HasInOrder(const std::string& text, std::initializer_list<std::string> pieces) {
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

// The log without the camera thread's slow-frame lines, which may come at any time.
inline std::string WithoutSlowFrames(const std::string& log) {
    std::string out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find('\n', pos);
        end = end == std::string::npos ? log.size() : end + 1;
        const std::string line = log.substr(pos, end - pos);
        if (!Has(line, "IS_UEYE_MESSAGE")) {
            out += line;
        }
        pos = end;
    }
    return out;
}

// CamSN_Wait for tests that read the log of a START: a number no other line of it holds.
constexpr wchar_t kStartWaitSeconds[] = L"2911";

// START writes its waiting line in three pieces while the camera thread it just made logs
// too, so the pieces can land inside that thread's lines; they are taken out one by one.
inline std::string WithoutStartWait(std::string log) {
    for (const std::string piece : {"***** UEYECAM Init3 waiting ", "2911", "...\n"}) {
        for (size_t p = log.find(piece); p != std::string::npos; p = log.find(piece, p)) {
            log.erase(p, piece.size());
        }
    }
    return log;
}

} // namespace trvtest
