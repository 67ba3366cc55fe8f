#include <cstdio>
#include <cstring>

#include "platform/Bass.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("torvane-cli %s\n", TORVANE_VERSION);
        return 0;
    }
    std::fprintf(stderr, "usage: torvane-cli --version\n");
    return 2;
}
