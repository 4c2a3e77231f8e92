// Second log writer for the cross-process test: `log_writer <tag> <count>` writes each line
// as "[<tag><i>:a]", "[<tag><i>:b]" and "[<tag><i>:c]\n", pausing now and then as a camera
// thread would.
#include "infra/trv_log.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    const int count = std::atoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        for (const char* part : {":a]", ":b]", ":c]\n"}) {
            char piece[64];
            std::snprintf(piece, sizeof piece, "[%s%d%s", argv[1], i, part);
            gLog.Write(piece);
        }
        if (i % 50 == 49) {
            Sleep(1);
        }
    }
    return 0;
}
