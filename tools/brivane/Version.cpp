#include <cstdio>

#include "Commands.h"

namespace {
int RunVersion(int, char **) {
    std::printf("brivane %s\n", BRIVANE_VERSION);
    return 0;
}

const CliCommandRegistration kVersion({"version", "print the library version", &RunVersion, 0});
}  // namespace
