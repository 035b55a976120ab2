// The library's media sample buffer: a reference-counted heap block with a length and a capacity,
// standalone or lent out by a sample pool, to which it returns when its borrower lets go.
#pragma once

#include "platform/platform.h"

class CSamplePool;

class CSampleBuffer final : public CNssBufferCore<E_POINTER> {
public:
    // pool: the pool that keeps the buffer while it is idle, or null for a standalone buffer.
    explicit CSampleBuffer(CSamplePool *pool);

    // Destroys the buffer at 0; at 1 a pooled buffer goes back to its pool.
    ULONG STDMETHODCALLTYPE Release() override;

    // Resizes the block, keeping the bytes up to the smaller size; a failure changes nothing.
    HRESULT SetCapacity(DWORD size);

private:
    friend class CSamplePool;
    ~CSampleBuffer() override;

    CSamplePool *const m_pPool;
    CSampleBuffer *m_pNextIdle = nullptr;  // the pool's free-list link, used only under its lock
};
