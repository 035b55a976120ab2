// The helpers the capture cases share, over the events the host keeps.
#pragma once

#include <string>
#include <vector>

#include "PlaybackHost.h"

// One letter per event: B begin, S stream begins, R raw PCM, H header bytes, D data unit, E end, F failure.
inline char Letter(const Delivery &e) {
    switch (e.code) {
    case BRIVANE_REC_EVENT_BEGIN: return 'B';
    case BRIVANE_REC_EVENT_STREAM_BEGIN: return 'S';
    case BRIVANE_REC_EVENT_END: return 'E';
    case BRIVANE_REC_EVENT_DATA: return e.arg1 == 1 ? 'R' : e.arg2 == 0 ? 'H' : 'D';
    case BRIVANE_EVENT_COMMAND_FAILED: return 'F';
    default: return '?';
    }
}

inline std::string Letters(const std::vector<Delivery> &events) {
    std::string letters;
    for (const Delivery &e : events) letters += Letter(e);
    return letters;
}

// The events of one instance, once `count` of them carry the letter or 10 s have passed.
inline std::vector<Delivery> Captured(PlaybackHost &host, uint32_t handle, char letter, size_t count = 1) {
    host.WaitUntil(handle, milliseconds(10000), [&](const std::vector<Delivery> &events) {
        const std::string letters = Letters(events);
        return size_t(std::count(letters.begin(), letters.end(), letter)) >= count;
    });
    return host.Of(handle);
}

inline std::vector<char> Joined(const std::vector<Delivery> &events, const std::string &letters) {
    std::vector<char> joined;
    for (const Delivery &e : events)
        if (letters.find(Letter(e)) != std::string::npos)
            joined.insert(joined.end(), e.payload.begin(), e.payload.end());
    return joined;
}

const BrivaneWaveFormat kStereo44k = {1, 2, 44100, 176400, 4, 16, 0};
