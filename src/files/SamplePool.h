// A player's first-in first-out pool of sample buffers, lent to the media reader for its output so
// that decoding costs no allocation per sample.
#pragma once

#include <atomic>

#include "files/SampleBuffer.h"
#include "platform/platform.h"

class CSamplePool {
public:
    CSamplePool();
    // Clears the pool: every lent buffer must have come back by now.
    ~CSamplePool();
    CSamplePool(const CSamplePool &) = delete;
    CSamplePool &operator=(const CSamplePool &) = delete;

    // Makes count idle buffers of size bytes; the total becomes count.
    void Preallocate(LONG count, DWORD size);
    // Lends the buffer idle longest, sized to size bytes, waiting about 500 ms for one to come back
    // before the pool grows. E_OUTOFMEMORY and no buffer only when memory cannot hold size bytes.
    HRESULT Take(DWORD size, CSampleBuffer **buffer);
    // Destroys the idle buffers; the total becomes 0.
    void Clear();

    LONG Total() const { return m_total.load(); }

private:
    friend class CSampleBuffer;
    // Appends at the tail; called by a buffer whose last borrower let go.
    void PutBack(CSampleBuffer *buffer);
    CSampleBuffer *TakeIdle();

    CRITICAL_SECTION m_lock;
    CIntrusiveQueue<CSampleBuffer, &CSampleBuffer::m_pNextIdle> m_idle;
    std::atomic<LONG> m_total{0};
};
