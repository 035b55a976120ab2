// What the capture unit tests share: SDL's disk driver input when it is in use.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "WaveTestSupport.h"

// The file SDL's disk driver records from, or null on any other driver.
inline const char *DiskInputPath() {
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    return driver && std::strcmp(driver, "disk") == 0 ? std::getenv("SDL_DISKAUDIOFILEIN") : nullptr;
}

inline bool WriteFile(const char *path, const std::vector<BYTE> &bytes) {
    std::FILE *file = std::fopen(path, "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
