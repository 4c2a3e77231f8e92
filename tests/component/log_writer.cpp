// Second log writer for the cross-process tests:
//   log_writer <tag> <count>   writes "<tag><i>\n" for i = 0..count-1, each line one piece.
#include "infra/trv_log.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    const char* tag = argv[1];
    const int count = std::atoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        char piece[64];
        std::snprintf(piece, sizeof piece, "%s%d\n", tag, i);
        gLog.Write(piece);
    }
    return 0;
}
