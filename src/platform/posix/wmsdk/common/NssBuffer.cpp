#include "NssBuffer.h"

#include <new>

namespace posix {

CNssBuffer *CNssBuffer::Create(DWORD capacity)
{
    void *memory = ::operator new(sizeof(CNssBuffer) + capacity, std::nothrow);
    return memory ? new (memory) CNssBuffer(capacity) : nullptr;
}

void CNssBuffer::Destroy()
{
    this->~CNssBuffer();
    ::operator delete(this);
}

void *CNssBuffer::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_INSSBuffer)
        return static_cast<INSSBuffer *>(this);
    return nullptr;
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
