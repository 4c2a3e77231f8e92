// trvlog: shows the plug-in's shared-memory log live, the way the host's viewer does.
//   trvlog            follow the log until Ctrl+C
//   trvlog --once     print what is there now and exit
#include "log_reader.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    bool once = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--once") == 0) {
            once = true;
        } else {
            std::fprintf(stderr, "usage: trvlog [--once]\n");
            return 2;
        }
    }
    LogReader reader;
    if (!reader.ok()) {
        std::fprintf(stderr, "trvlog: cannot open the shared log (error %lu)\n", GetLastError());
        return 1;
    }
    for (;;) {
        const std::string text = ToUtf8(reader.Drain());
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        if (once) {
            return 0;
        }
        reader.WaitForLine(250);
    }
}
