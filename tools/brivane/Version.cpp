#include <cstdio>

#include "Commands.h"

int RunVersion() {
    std::printf("brivane %s\n", BRIVANE_VERSION);
    return 0;
}
