#include "playback/PacedQueue.h"

#include "core/LockScope.h"

namespace {

const LONG kDefaultBlockBytes = 1764;
const DWORD kDefaultTickMs = 50;

}  // namespace

// The pool needs no lock of its own: every use is under the queue lock.
CPacedQueue::CPacedQueue()
    : m_tickMs(kDefaultTickMs), m_position(0), m_blockBytes(kDefaultBlockBytes), m_blockPool(FALSE) {
    InitializeCriticalSection(&m_lock);
    m_chunker.SetBlockSize(m_blockBytes);
}

CPacedQueue::~CPacedQueue() {
    Clear();
    DeleteCriticalSection(&m_lock);
}

void CPacedQueue::Configure(DWORD blockBytes, DWORD tickMs) {
    CLockScope lock(&m_lock);
    m_blockBytes = LONG(blockBytes);
    m_chunker.SetBlockSize(m_blockBytes);
    m_position = 0;
    m_tickMs = tickMs;
}

DWORD CPacedQueue::Enqueue(const BYTE *data, DWORD bytes) {
    DWORD queued = 0;
    CLockScope lock(&m_lock);
    m_chunker.SetInput(data, LONG(bytes));
    m_bytesIn += bytes;
    LONG size = 0;
    while (const BYTE *block = m_chunker.Next(&size)) {
        PoolBuffer *buffer = m_blockPool.AcquireCopy(block, size);
        if (buffer && !m_blocks.Append(buffer)) {
            m_blockPool.Release(buffer);
            buffer = nullptr;
        }
        if (!buffer) {
            m_bytesOut += DWORD(size);
            continue;
        }
        queued += DWORD(size);
    }
    m_chunker.ClearInput();
    return queued;
}

int CPacedQueue::Drain(DWORD elapsedMs, DWORD deltaMs, PacedDeliverFn deliver, void *player) {
    if (!deliver) return -1;
    CLockScope lock(&m_lock);
    int result = -1;
    if (m_blocks.Count() > 0) {
        do {
            // Out of the list before delivery, so a Clear from inside deliver leaves it alone.
            PoolBuffer *block = m_blocks[0];
            m_blocks.RemoveAt(0);
            const DWORD position = m_position += m_tickMs;
            m_bytesOut += DWORD(block->requestedSize);
            result = deliver(elapsedMs, deltaMs, block->data, DWORD(block->requestedSize), position, player);
            m_blockPool.Release(block);
        } while (result == 1 && m_blocks.Count() > 0);
    } else {
        LONG bytes = 0;
        const BYTE *partial = m_holdPartial ? nullptr : m_chunker.TakePartial(&bytes);
        if (bytes >= 1) m_position += DWORD(double(m_tickMs) * bytes / m_blockBytes + 0.5);
        if (bytes >= 1) m_bytesOut += DWORD(bytes);
        deliver(elapsedMs, deltaMs, partial, DWORD(bytes), m_position.load(), player);
    }
    return result;
}

void CPacedQueue::Clear() {
    CLockScope lock(&m_lock);
    for (int i = 0; i < m_blocks.Count(); ++i) m_blockPool.Release(m_blocks[i]);
    m_blocks.Clear();
    m_chunker.ResetPartial();
    m_bytesIn = 0;
    m_bytesOut = 0;
}
