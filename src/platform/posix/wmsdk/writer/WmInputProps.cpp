#include "WmInputProps.h"

#include <new>

#include "Property.h"

namespace posix {

CWmInputProps *CWmInputProps::Create(const CMediaType &type, const std::u16string &connection) {
    try {
        return new (std::nothrow) CWmInputProps(type, connection);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

CMediaType CWmInputProps::Type() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_type;
}

CWmInputProps *CWmInputProps::Copy() {
    try {
        return Create(Type(), m_connection);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void *CWmInputProps::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IWMMediaProps || riid == IID_IWMInputMediaProps)
        return static_cast<IWMInputMediaProps *>(this);
    return nullptr;
}

HRESULT CWmInputProps::GetType(GUID *majorType) {
    std::lock_guard<std::mutex> hold(m_lock);
    return PutValue(majorType, m_type.MajorType());
}

HRESULT CWmInputProps::GetMediaType(WM_MEDIA_TYPE *type, DWORD *size) {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_type.CopyTo(type, size);
}

HRESULT CWmInputProps::SetMediaType(WM_MEDIA_TYPE *type) {
    std::lock_guard<std::mutex> hold(m_lock);
    try {
        return m_type.Assign(type);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CWmInputProps::GetConnectionName(WCHAR *name, WORD *length) {
    return CopyWideString(m_connection, name, length);
}

// Inputs belong to no group here.
HRESULT CWmInputProps::GetGroupName(WCHAR *name, WORD *length) { return CopyWideString(u"", name, length); }

}  // namespace posix
