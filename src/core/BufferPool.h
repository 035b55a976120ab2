// Byte buffers handed out for reuse: a pool only grows, and a buffer lives until the pool dies.
#pragma once

#include "core/DynArray.h"
#include "platform/platform.h"

struct PoolBuffer {
    LONG requestedSize;  // size asked for by the current holder
    LONG capacity;       // bytes after the header, fixed when the buffer is made
    DWORD inUse;
    BYTE *data;  // first byte after the header
};

class CBufferPool {
public:
    // Without its own lock the owner serialises every call.
    explicit CBufferPool(BOOL withLock);
    ~CBufferPool();
    CBufferPool(const CBufferPool &) = delete;
    CBufferPool &operator=(const CBufferPool &) = delete;

    PoolBuffer *Acquire(LONG size);
    // Acquire, then copy size bytes from source, or zero them when source is null.
    PoolBuffer *AcquireCopy(const void *source, LONG size);
    void Release(PoolBuffer *buffer);
    // Makes free buffers of size until count of at least that size exist; false when memory runs out.
    BOOL Preallocate(int count, LONG size);

    int BufferCount() const { return m_buffers.Count(); }
    const PoolBuffer *BufferAt(int index) const { return m_buffers[index]; }

private:
    void Lock();
    void Unlock();
    PoolBuffer *MakeBuffer(LONG size);

    LONG m_cursor = 0;
    // Kept in the pool, so that a pool asked for a lock always has one.
    BOOL m_hasLock;
    CRITICAL_SECTION m_lock;
    CDynArray<PoolBuffer *> m_buffers;
};
