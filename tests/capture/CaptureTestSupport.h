// What the capture unit tests share: SDL's disk driver input when it is in use.
#pragma once

#include <cstdlib>
#include <cstring>

#include "WaveTestSupport.h"

// The file SDL's disk driver records from, or null on any other driver.
inline const char *DiskInputPath() {
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    return driver && std::strcmp(driver, "disk") == 0 ? std::getenv("SDL_DISKAUDIOFILEIN") : nullptr;
}
