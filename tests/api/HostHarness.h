// A host's view of the library: callbacks that record what the service thread delivers.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "HostExports.h"
#include "HostThreads.h"

// True when the host runs under Wine, whose reader and decoders some cases must allow for.
bool RunningUnderWine();

using HostText = std::basic_string<BRIVANE_WCHAR>;

struct HostEvent {
    uint32_t handle;
    BRIVANE_USER user;
    uint32_t code;
    const void *payload;
    uint32_t size;
    HostThreadId thread;
};

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

// Keeps every playback event.
class HostLog {
public:
    static void BRIVANE_CALL OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *payload,
                                    uint32_t size) {
        HostLog *log = reinterpret_cast<HostLog *>(user ^ kWide);
        std::lock_guard<HostMutex> guard(log->m_lock);
        log->m_events.push_back({handle, user, code, payload, size, CurrentHostThread()});
    }
    BRIVANE_USER User() const { return reinterpret_cast<BRIVANE_USER>(this) ^ kWide; }

    // Waits up to 5 s for the event.
    bool WaitForEvent(uint32_t handle, uint32_t code) {
        return WaitUntil([&] { return Count(handle, code) > 0; }, 5000);
    }
    std::vector<HostEvent> Events() {
        std::lock_guard<HostMutex> guard(m_lock);
        return m_events;
    }
    size_t Count(uint32_t handle, uint32_t code = BRIVANE_EVENT_COMMAND_FAILED) {
        std::lock_guard<HostMutex> guard(m_lock);
        return std::count_if(m_events.begin(), m_events.end(),
                             [&](const HostEvent &e) { return e.handle == handle && e.code == code; });
    }

private:
    // Sets the high half on a 64-bit build, so a user value cut to 32 bits never finds its log.
    static constexpr BRIVANE_USER kWide = sizeof(BRIVANE_USER) > 4 ? BRIVANE_USER(0x5A5A5A5Au) << 16 << 16 : 0;

    HostMutex m_lock;
    std::vector<HostEvent> m_events;
};

// The library reads a path when its open command runs, after the open export has returned: the
// strings handed out here live as long as the process.
inline const HostText &Path(const char *ascii) {
    static HostMutex lock;
    static std::set<HostText> paths;
    std::lock_guard<HostMutex> hold(lock);
    return *paths.insert(HostText(ascii, ascii + std::char_traits<char>::length(ascii))).first;
}

// An open that fails as event 6; it also sets the playback callback, through which capture failures arrive.
inline uint32_t OpenMissing(HostLog &log) {
    return Brivane().AudioOutFileOpen(1, Path("missing.wma").c_str(), &HostLog::OnPlay, log.User());
}

// The speech capture profile shipped in profiles/, as the UTF-16 text the library takes.
inline HostText SpeechProfile() {
    std::ifstream file(BRIVANE_SPEECH_PROFILE);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return HostText(text.begin(), text.end());
}
