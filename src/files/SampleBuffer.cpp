#include "files/SampleBuffer.h"

#include "files/SamplePool.h"

CSampleBuffer::CSampleBuffer(CSamplePool *pool) : CNssBufferCore(nullptr, 0), m_pPool(pool) {}

CSampleBuffer::~CSampleBuffer() {
    if (m_data) HeapFree(GetProcessHeap(), 0, m_data);
}

ULONG CSampleBuffer::Release() {
    // Read first: once the count has dropped, another thread may own or destroy the buffer.
    CSamplePool *const pool = m_pPool;
    const ULONG count = CNssBufferCore::Release();
    // The pool's reference is the one left; after PutBack another thread may own the buffer.
    if (count == 1 && pool) pool->PutBack(this);
    return count;
}

HRESULT CSampleBuffer::SetCapacity(DWORD size) {
    if (size == 0) return E_INVALIDARG;
    if (!m_data) {
        m_data = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), 0, size));
        if (!m_data) return E_FAIL;
        m_capacity = size;
        m_length = 0;
        return S_OK;
    }
    if (size == m_capacity) return S_OK;
    BYTE *resized = static_cast<BYTE *>(HeapReAlloc(GetProcessHeap(), 0, m_data, size));
    if (!resized) return E_FAIL;
    m_data = resized;
    if (size < m_length) m_length = size;
    m_capacity = size;
    return S_OK;
}
