#include "LatencyLog.h"

#include <ctime>

int64_t MonotonicNs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void CLatencyLog::Delivered(DWORD handle, DWORD code) {
    const int64_t now = MonotonicNs();
    Channel &channel = ChannelOf(handle);
    int64_t raised = 0;
    {
        std::lock_guard<std::mutex> hold(channel.lock);
        if (channel.head == channel.tail) {
            ++m_unmatched;
            return;
        }
        raised = channel.raisedNs[channel.head++ % kDepth];
    }
    // The capacity was reserved up front, so recording allocates nothing while playback runs.
    if (m_deliveries.size() < m_deliveries.capacity()) m_deliveries.push_back(Delivery{raised, now - raised, code});
}

void CLatencyLog::Clear() {
    for (Channel &channel : m_channels) {
        std::lock_guard<std::mutex> hold(channel.lock);
        channel.head = channel.tail = 0;
    }
    m_deliveries.clear();
    m_unmatched = 0;
    m_commands = 0;
    m_commandNs = 0;
    m_commandMaxNs = 0;
}
