#include "NssBuffer.h"

#include <new>

namespace posix {

CNssBuffer *CNssBuffer::Create(DWORD capacity)
{
    void *memory = ::operator new(sizeof(CNssBuffer) + capacity, std::nothrow);
    return memory ? new (memory) CNssBuffer(capacity) : nullptr;
}

HRESULT CNssBuffer::QueryInterface(REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_INSSBuffer) {
        *object = static_cast<INSSBuffer *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CNssBuffer::AddRef() { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CNssBuffer::Release()
{
    const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        this->~CNssBuffer();
        ::operator delete(this);
    }
    return left;
}

HRESULT CNssBuffer::GetLength(DWORD *length)
{
    if (!length)
        return E_INVALIDARG;
    *length = m_length;
    return S_OK;
}

HRESULT CNssBuffer::SetLength(DWORD length)
{
    if (length > m_capacity)
        return E_INVALIDARG;
    m_length = length;
    return S_OK;
}

HRESULT CNssBuffer::GetMaxLength(DWORD *length)
{
    if (!length)
        return E_INVALIDARG;
    *length = m_capacity;
    return S_OK;
}

HRESULT CNssBuffer::GetBuffer(BYTE **buffer)
{
    if (!buffer)
        return E_INVALIDARG;
    *buffer = Data();
    return S_OK;
}

HRESULT CNssBuffer::GetBufferAndLength(BYTE **buffer, DWORD *length)
{
    if (!buffer || !length)
        return E_INVALIDARG;
    *buffer = Data();
    *length = m_length;
    return S_OK;
}

}  // namespace posix
