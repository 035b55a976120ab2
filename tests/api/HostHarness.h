// A host's view of the library: the exports, its threads, and the helpers every case shares.
#pragma once

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "HostExports.h"
#include "HostThreads.h"

// True when the host runs under Wine, whose reader and decoders some cases must allow for.
bool RunningUnderWine();

using HostText = std::basic_string<BRIVANE_WCHAR>;

// A positive whole number from the environment, or the fallback.
inline int EnvInt(const char *name, int fallback) {
    const char *value = std::getenv(name);
    return value && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

// Polls every 5 ms until done holds or limitMs pass; true when it holds. Each poll calls done once.
inline bool WaitUntil(const std::function<bool()> &done, int limitMs = 10000) {
    for (int waited = 0; !done(); waited += 5) {
        if (waited >= limitMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The library reads a path when its open command runs, after the export returned: these strings outlive every call.
inline const HostText &Path(const char *ascii) {
    static HostMutex lock;
    static std::set<HostText> paths;
    std::lock_guard<HostMutex> hold(lock);
    return *paths.insert(HostText(ascii, ascii + std::char_traits<char>::length(ascii))).first;
}

// The speech capture profile shipped in profiles/, as the UTF-16 text the library takes.
inline HostText SpeechProfile() {
    std::ifstream file(BRIVANE_SPEECH_PROFILE);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return HostText(text.begin(), text.end());
}
