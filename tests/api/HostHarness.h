// A host's view of the library: callbacks that record what the service thread delivers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "brivane.h"

struct HostEvent {
    uint32_t handle;
    uint32_t code;
    std::thread::id thread;
};

class HostLog {
public:
    static void BRIVANE_CALL OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *, uint32_t) {
        reinterpret_cast<HostLog *>(user)->Add(handle, code);
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }

    void Add(uint32_t handle, uint32_t code) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back({handle, code, std::this_thread::get_id()});
        m_changed.notify_all();
    }
    // Waits up to 5 s for an event that matches.
    bool WaitFor(const std::function<bool(const HostEvent &)> &match) {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::seconds(5), [&] {
            for (const HostEvent &event : m_events)
                if (match(event)) return true;
            return false;
        });
    }
    bool WaitForEvent(uint32_t handle, uint32_t code) {
        return WaitFor([&](const HostEvent &e) { return e.handle == handle && e.code == code; });
    }
    std::vector<HostEvent> Events() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_events;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<HostEvent> m_events;
};

// The library reads a path when its open command runs, after the open export has returned: the
// strings handed out here live as long as the process.
inline const std::u16string &Path(const char *ascii) {
    static std::mutex lock;
    static std::set<std::u16string> paths;
    std::lock_guard<std::mutex> hold(lock);
    return *paths.insert(std::u16string(ascii, ascii + std::char_traits<char>::length(ascii))).first;
}

// The speech capture profile shipped in profiles/, as the UTF-16 text the library takes.
inline std::u16string SpeechProfile() {
    std::ifstream file(BRIVANE_SPEECH_PROFILE);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return std::u16string(text.begin(), text.end());
}
