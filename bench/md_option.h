// The --trv_md=FILE option of the benchmarks that take no other: where their Markdown goes.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

// False, after a usage line, when an argument is not --trv_md=FILE.
inline bool ParseMdOption(int argc, char** argv, const char* program, std::string& mdPath) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--trv_md=", 9) != 0) {
            std::fprintf(stderr, "usage: %s [--trv_md=FILE]\n", program);
            return false;
        }
        mdPath = argv[i] + 9;
    }
    return true;
}
