#include "files/SamplePool.h"

#include <new>

#include "core/LockScope.h"

namespace {

const int kIdlePolls = 50;
const DWORD kIdlePollMs = 10;

}  // namespace

CSamplePool::CSamplePool() { InitializeCriticalSection(&m_lock); }

CSamplePool::~CSamplePool() {
    Clear();
    DeleteCriticalSection(&m_lock);
}

void CSamplePool::PutBack(CSampleBuffer *buffer) {
    CLockScope lock(&m_lock);
    buffer->m_pNextIdle = nullptr;
    if (m_pTail)
        m_pTail->m_pNextIdle = buffer;
    else
        m_pHead = buffer;
    m_pTail = buffer;
}

CSampleBuffer *CSamplePool::TakeIdle() {
    CLockScope lock(&m_lock);
    CSampleBuffer *buffer = m_pHead;
    if (buffer) {
        m_pHead = buffer->m_pNextIdle;
        if (!m_pHead) m_pTail = nullptr;
        buffer->m_pNextIdle = nullptr;
    }
    return buffer;
}

void CSamplePool::Preallocate(LONG count, DWORD size) {
    m_total = count;
    for (LONG i = 0; i < count; ++i) {
        CSampleBuffer *buffer = new (std::nothrow) CSampleBuffer(this);
        if (!buffer) continue;
        buffer->SetCapacity(size);
        PutBack(buffer);
    }
}

HRESULT CSamplePool::Take(DWORD size, CSampleBuffer **buffer) {
    *buffer = nullptr;
    CSampleBuffer *found = TakeIdle();
    // Buffers come back from the reader's threads: waiting for one beats growing the pool.
    for (int poll = 0; !found && poll < kIdlePolls; ++poll) {
        Sleep(kIdlePollMs);
        found = TakeIdle();
    }
    if (!found) {
        found = new (std::nothrow) CSampleBuffer(this);
        if (!found) return E_OUTOFMEMORY;
        ++m_total;
    }
    found->SetCapacity(size);
    if (found->m_capacity < size) {
        // Out of memory: the buffer stays idle for a later request it can serve.
        PutBack(found);
        return E_OUTOFMEMORY;
    }
    found->AddRef();
    *buffer = found;
    return S_OK;
}

void CSamplePool::Clear() {
    CSampleBuffer *buffer = nullptr;
    {
        CLockScope lock(&m_lock);
        buffer = m_pHead;
        m_pHead = m_pTail = nullptr;
    }
    while (buffer) {
        CSampleBuffer *next = buffer->m_pNextIdle;
        buffer->Release();
        buffer = next;
    }
    m_total = 0;
}
