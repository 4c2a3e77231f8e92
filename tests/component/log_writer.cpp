// Second log writer for the cross-process tests:
//   log_writer <tag> <count>          writes "<tag><i>\n" for i = 0..count-1, each line one piece
//   log_writer <tag> <count> pieces   writes each line as "[<tag><i>:a]", "[<tag><i>:b]" and
//                                     "[<tag><i>:c]\n", pausing now and then as a camera thread
//                                     would
#include "infra/trv_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 4 && std::strcmp(argv[3], "pieces") == 0)) {
        return 2;
    }
    const char* tag = argv[1];
    const int count = std::atoi(argv[2]);
    const bool pieces = argc == 4;
    for (int i = 0; i < count; ++i) {
        char piece[64];
        if (!pieces) {
            std::snprintf(piece, sizeof piece, "%s%d\n", tag, i);
            gLog.Write(piece);
            continue;
        }
        for (const char* part : {":a]", ":b]", ":c]\n"}) {
            std::snprintf(piece, sizeof piece, "[%s%d%s", tag, i, part);
            gLog.Write(piece);
        }
        if (i % 50 == 49) {
            Sleep(1);
        }
    }
    return 0;
}
