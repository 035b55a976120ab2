// A host's capture callback that keeps every event, and the helpers the capture cases share.
#pragma once

#include <string>
#include <vector>

#include "HostHarness.h"

struct CaptureEvent {
    uint32_t handle, code, arg1, arg2;
    std::vector<uint8_t> payload;
    HostThreadId thread;
};

// One letter per event: B begin, S stream begins, R raw PCM, H header bytes, D data unit, E end.
inline char Letter(const CaptureEvent &e) {
    switch (e.code) {
    case BRIVANE_REC_EVENT_BEGIN: return 'B';
    case BRIVANE_REC_EVENT_STREAM_BEGIN: return 'S';
    case BRIVANE_REC_EVENT_END: return 'E';
    case BRIVANE_REC_EVENT_DATA: return e.arg1 == 1 ? 'R' : e.arg2 == 0 ? 'H' : 'D';
    default: return '?';
    }
}

class CaptureLog {
public:
    static void BRIVANE_CALL OnCapture(uint32_t handle, BRIVANE_USER user, uint32_t code, uint32_t arg1, uint32_t arg2,
                                       const void *payload, uint32_t size) {
        CaptureLog *log = reinterpret_cast<CaptureLog *>(user);
        const uint8_t *bytes = static_cast<const uint8_t *>(payload);
        std::lock_guard<HostMutex> guard(log->m_lock);
        log->m_events.push_back({handle, code, arg1, arg2,
                                 bytes ? std::vector<uint8_t>(bytes, bytes + size) : std::vector<uint8_t>(),
                                 CurrentHostThread()});
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }

    // The events of one instance; with a count of letters, waits up to 10 s until that many arrived.
    std::vector<CaptureEvent> Events(uint32_t handle, char letter = 0, size_t count = 0) {
        WaitUntil([&] {
            std::lock_guard<HostMutex> guard(m_lock);
            return size_t(std::count_if(m_events.begin(), m_events.end(), [&](const CaptureEvent &e) {
                       return e.handle == handle && Letter(e) == letter;
                   })) >= count;
        });
        std::lock_guard<HostMutex> guard(m_lock);
        std::vector<CaptureEvent> mine;
        std::copy_if(m_events.begin(), m_events.end(), std::back_inserter(mine),
                     [&](const CaptureEvent &e) { return e.handle == handle; });
        return mine;
    }
    void Clear() {
        std::lock_guard<HostMutex> guard(m_lock);
        m_events.clear();
    }

private:
    HostMutex m_lock;
    std::vector<CaptureEvent> m_events;
};

inline std::string Letters(const std::vector<CaptureEvent> &events) {
    std::string letters;
    for (const CaptureEvent &e : events) letters += Letter(e);
    return letters;
}

inline std::vector<uint8_t> Joined(const std::vector<CaptureEvent> &events, const std::string &letters) {
    std::vector<uint8_t> joined;
    for (const CaptureEvent &e : events)
        if (letters.find(Letter(e)) != std::string::npos)
            joined.insert(joined.end(), e.payload.begin(), e.payload.end());
    return joined;
}

const BrivaneWaveFormat kStereo44k = {1, 2, 44100, 176400, 4, 16, 0};
