// Times each playback event from the moment a player hands it to the service's sink to the moment
// the host callback receives it. Events of one instance reach the host in the order they were
// queued, so a first-in first-out list of raise times per handle pairs each delivery with its raise.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/platform.h"

int64_t MonotonicNs();

class CLatencyLog {
public:
    struct Delivery {
        int64_t raisedNs;
        int64_t latencyNs;
        DWORD code;
    };

    explicit CLatencyLog(size_t capacity) { m_deliveries.reserve(capacity); }

    // Runs the sink call with the raise time recorded first; a refused event is taken back.
    template <typename SinkCall>
    LONG Raise(DWORD handle, SinkCall call) {
        Channel &channel = ChannelOf(handle);
        std::lock_guard<std::mutex> hold(channel.lock);
        const unsigned slot = channel.tail++ % kDepth;
        channel.raisedNs[slot] = MonotonicNs();
        const LONG result = call();
        if (result < 0) --channel.tail;
        return result;
    }

    // Called on the service thread by the host callback.
    void Delivered(DWORD handle, DWORD code);
    // Time a player command held the service thread (opening a medium, starting playback).
    template <typename Command>
    auto TimeCommand(Command command) {
        const int64_t start = MonotonicNs();
        auto result = command();
        const int64_t took = MonotonicNs() - start;
        m_commandNs += took;
        m_commandMaxNs = took > m_commandMaxNs ? took : m_commandMaxNs;
        ++m_commands;
        return result;
    }
    void Clear();

    const std::vector<Delivery> &Deliveries() const { return m_deliveries; }
    // Deliveries that found no raise time (the service's own failure events, or a lost pairing).
    uint64_t Unmatched() const { return m_unmatched; }
    uint64_t Commands() const { return m_commands; }
    int64_t CommandNs() const { return m_commandNs; }
    int64_t CommandMaxNs() const { return m_commandMaxNs; }

private:
    static const unsigned kDepth = 4096;
    static const unsigned kChannels = 128;

    struct Channel {
        std::mutex lock;
        unsigned head = 0;
        unsigned tail = 0;
        int64_t raisedNs[kDepth];
    };

    Channel &ChannelOf(DWORD handle) { return m_channels[handle % kChannels]; }

    Channel m_channels[kChannels];
    std::vector<Delivery> m_deliveries;
    uint64_t m_unmatched = 0;
    uint64_t m_commands = 0;
    int64_t m_commandNs = 0;
    int64_t m_commandMaxNs = 0;
};
