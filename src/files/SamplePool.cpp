#include "files/SamplePool.h"

#include <new>
#include <utility>

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
    m_idle.PushBack(buffer);
}

CSampleBuffer *CSamplePool::TakeIdle() {
    CLockScope lock(&m_lock);
    return m_idle.PopFront();
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
    decltype(m_idle) idle;
    {
        CLockScope lock(&m_lock);
        std::swap(idle, m_idle);
    }
    // Destroyed outside the lock, which takes and returns may need meanwhile.
    while (CSampleBuffer *buffer = idle.PopFront()) buffer->Release();
    m_total = 0;
}
