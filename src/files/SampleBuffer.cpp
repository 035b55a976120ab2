#include "files/SampleBuffer.h"

#include "files/SamplePool.h"

CSampleBuffer::CSampleBuffer(CSamplePool *pool) : m_pPool(pool) {}

CSampleBuffer::~CSampleBuffer() {
    if (m_pData) HeapFree(GetProcessHeap(), 0, m_pData);
}

HRESULT CSampleBuffer::QueryInterface(REFIID riid, void **ppvObject) {
    if (!ppvObject) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_INSSBuffer)) {
        *ppvObject = static_cast<INSSBuffer *>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CSampleBuffer::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }

ULONG CSampleBuffer::Release() {
    const LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) {
        delete this;
    } else if (count == 1 && m_pPool) {
        // The pool's reference is the one left; after PutBack another thread may own the buffer.
        m_pPool->PutBack(this);
    }
    return static_cast<ULONG>(count);
}

HRESULT CSampleBuffer::GetLength(DWORD *pdwLength) {
    if (!pdwLength) return E_POINTER;
    *pdwLength = m_length;
    return S_OK;
}

HRESULT CSampleBuffer::SetLength(DWORD dwLength) {
    if (dwLength > m_capacity) return E_INVALIDARG;
    m_length = dwLength;
    return S_OK;
}

HRESULT CSampleBuffer::GetMaxLength(DWORD *pdwLength) {
    if (!pdwLength) return E_POINTER;
    *pdwLength = m_capacity;
    return S_OK;
}

HRESULT CSampleBuffer::GetBuffer(BYTE **ppdwBuffer) {
    if (!ppdwBuffer) return E_POINTER;
    *ppdwBuffer = m_pData;
    return S_OK;
}

HRESULT CSampleBuffer::GetBufferAndLength(BYTE **ppdwBuffer, DWORD *pdwLength) {
    if (!ppdwBuffer || !pdwLength) return E_POINTER;
    *ppdwBuffer = m_pData;
    *pdwLength = m_length;
    return S_OK;
}

HRESULT CSampleBuffer::SetCapacity(DWORD size) {
    if (size == 0) return E_INVALIDARG;
    if (!m_pData) {
        m_pData = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), 0, size));
        if (!m_pData) return E_FAIL;
        m_capacity = size;
        m_length = 0;
        return S_OK;
    }
    if (size == m_capacity) return S_OK;
    BYTE *resized = static_cast<BYTE *>(HeapReAlloc(GetProcessHeap(), 0, m_pData, size));
    if (!resized) return E_FAIL;
    m_pData = resized;
    if (size < m_length) m_length = size;
    m_capacity = size;
    return S_OK;
}
