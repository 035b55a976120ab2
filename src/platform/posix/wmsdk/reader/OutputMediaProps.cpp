#include "OutputMediaProps.h"

#include <new>

#include "StringProperty.h"

namespace posix {

COutputMediaProps *COutputMediaProps::Create(const CMediaType &type)
{
    return new (std::nothrow) COutputMediaProps(type);
}

HRESULT COutputMediaProps::QueryInterface(REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWMMediaProps || riid == IID_IWMOutputMediaProps) {
        *object = static_cast<IWMOutputMediaProps *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG COutputMediaProps::AddRef() { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG COutputMediaProps::Release()
{
    const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

HRESULT COutputMediaProps::GetType(GUID *majorType)
{
    if (!majorType)
        return E_POINTER;
    *majorType = m_type.MajorType();
    return S_OK;
}

HRESULT COutputMediaProps::GetMediaType(WM_MEDIA_TYPE *type, DWORD *size) { return m_type.CopyTo(type, size); }

HRESULT COutputMediaProps::SetMediaType(WM_MEDIA_TYPE *type)
{
    // A type of no kind at all is refused, as the runtime refuses it.
    if (type && type->majortype == GUID_NULL)
        return E_FAIL;
    return m_type.Assign(type);
}

// Outputs belong to no stream group and take no connection names here.
HRESULT COutputMediaProps::GetStreamGroupName(WCHAR *name, WORD *length) { return CopyWideString(u"", name, length); }

HRESULT COutputMediaProps::GetConnectionName(WCHAR *name, WORD *length) { return CopyWideString(u"", name, length); }

}  // namespace posix
