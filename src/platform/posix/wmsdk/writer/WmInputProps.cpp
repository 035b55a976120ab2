#include "WmInputProps.h"

#include <new>

#include "StringProperty.h"

namespace posix {

CWmInputProps *CWmInputProps::Create(const CMediaType &type, const std::u16string &connection)
{
    try {
        return new (std::nothrow) CWmInputProps(type, connection);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

CMediaType CWmInputProps::Type()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_type;
}

CWmInputProps *CWmInputProps::Copy()
{
    try {
        return Create(Type(), m_connection);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

HRESULT CWmInputProps::QueryInterface(REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWMMediaProps || riid == IID_IWMInputMediaProps) {
        *object = static_cast<IWMInputMediaProps *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CWmInputProps::AddRef() { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CWmInputProps::Release()
{
    const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CWmInputProps::GetType(GUID *majorType)
{
    if (!majorType)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(m_lock);
    *majorType = m_type.MajorType();
    return S_OK;
}

HRESULT CWmInputProps::GetMediaType(WM_MEDIA_TYPE *type, DWORD *size)
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_type.CopyTo(type, size);
}

HRESULT CWmInputProps::SetMediaType(WM_MEDIA_TYPE *type)
{
    std::lock_guard<std::mutex> hold(m_lock);
    try {
        return m_type.Assign(type);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CWmInputProps::GetConnectionName(WCHAR *name, WORD *length)
{
    return CopyWideString(m_connection, name, length);
}

// Inputs belong to no group here.
HRESULT CWmInputProps::GetGroupName(WCHAR *name, WORD *length) { return CopyWideString(u"", name, length); }

}  // namespace posix
