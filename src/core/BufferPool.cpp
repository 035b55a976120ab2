#include "core/BufferPool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

CBufferPool::CBufferPool(BOOL withLock) : m_hasLock(withLock) {
    if (m_hasLock) InitializeCriticalSection(&m_lock);
}

CBufferPool::~CBufferPool() {
    Lock();
    for (int i = 0; i < m_buffers.Count(); ++i) std::free(m_buffers[i]);
    m_buffers.Clear();
    Unlock();
    if (m_hasLock) DeleteCriticalSection(&m_lock);
}

void CBufferPool::Lock() {
    if (m_hasLock) EnterCriticalSection(&m_lock);
}

void CBufferPool::Unlock() {
    if (m_hasLock) LeaveCriticalSection(&m_lock);
}

PoolBuffer *CBufferPool::MakeBuffer(LONG size) {
    PoolBuffer *buffer = static_cast<PoolBuffer *>(std::malloc(sizeof(PoolBuffer) + size));
    if (!buffer) return nullptr;
    buffer->requestedSize = 0;
    buffer->capacity = size;
    buffer->inUse = 0;
    buffer->data = reinterpret_cast<BYTE *>(buffer + 1);
    if (!m_buffers.Append(buffer)) {
        std::free(buffer);
        return nullptr;
    }
    // The list stays sorted by capacity: the new buffer moves down to its place, after its equals.
    PoolBuffer **first = m_buffers.Data();
    PoolBuffer **place =
        std::upper_bound(first, first + m_buffers.Count() - 1, buffer,
                         [](const PoolBuffer *a, const PoolBuffer *b) { return a->capacity < b->capacity; });
    std::memmove(place + 1, place, sizeof(PoolBuffer *) * static_cast<size_t>(first + m_buffers.Count() - 1 - place));
    *place = buffer;
    return buffer;
}

PoolBuffer *CBufferPool::Acquire(LONG size) {
    if (size < 1) return nullptr;
    Lock();
    PoolBuffer *found = nullptr;
    const LONG n = m_buffers.Count();
    if (n > 0) {
        // First fit from the rotating cursor, so reuse spreads over equal buffers.
        for (LONG i = 0; i < n; ++i) {
            PoolBuffer *candidate = m_buffers[m_cursor % n];
            if (!candidate->inUse && candidate->capacity >= size) {
                found = candidate;
                break;
            }
            ++m_cursor;
        }
        m_cursor %= n;
    }
    if (!found) found = MakeBuffer(size);
    if (found) {
        found->requestedSize = size;
        found->inUse = 1;
    }
    Unlock();
    return found;
}

PoolBuffer *CBufferPool::AcquireCopy(const void *source, LONG size) {
    PoolBuffer *buffer = Acquire(size);
    if (buffer) {
        if (source)
            std::memcpy(buffer->data, source, size);
        else
            std::memset(buffer->data, 0, size);
    }
    return buffer;
}

BOOL CBufferPool::Preallocate(int count, LONG size) {
    if (size < 1) return FALSE;
    Lock();
    int have = 0;
    for (int i = 0; i < m_buffers.Count(); ++i)
        if (m_buffers[i]->capacity >= size) ++have;
    BOOL made = TRUE;
    for (; have < count && made; ++have) made = MakeBuffer(size) != nullptr;
    Unlock();
    return made;
}

void CBufferPool::Release(PoolBuffer *buffer) {
    if (!buffer) return;
    Lock();
    buffer->inUse = 0;
    Unlock();
}
