// A whole file as bytes; empty when it cannot be read.
#pragma once

#include <cstdio>
#include <string>

namespace trvtest {

inline std::string ReadFileText(const std::wstring& path) {
    std::string text;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buf[65536];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) {
            text.append(buf, n);
        }
        std::fclose(f);
    }
    return text;
}

} // namespace trvtest
