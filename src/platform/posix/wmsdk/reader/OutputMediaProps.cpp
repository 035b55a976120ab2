#include "OutputMediaProps.h"

#include <new>

#include "Property.h"

namespace posix {

COutputMediaProps *COutputMediaProps::Create(const CMediaType &type) {
    return new (std::nothrow) COutputMediaProps(type);
}

void *COutputMediaProps::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IWMMediaProps || riid == IID_IWMOutputMediaProps)
        return static_cast<IWMOutputMediaProps *>(this);
    return nullptr;
}

HRESULT COutputMediaProps::GetType(GUID *majorType) { return PutValue(majorType, m_type.MajorType()); }

HRESULT COutputMediaProps::GetMediaType(WM_MEDIA_TYPE *type, DWORD *size) { return m_type.CopyTo(type, size); }

HRESULT COutputMediaProps::SetMediaType(WM_MEDIA_TYPE *type) {
    // A type of no kind at all is refused, as the runtime refuses it.
    if (type && type->majortype == GUID_NULL) return E_FAIL;
    return m_type.Assign(type);
}

// Outputs belong to no stream group and take no connection names here.
HRESULT COutputMediaProps::GetStreamGroupName(WCHAR *name, WORD *length) { return CopyWideString(u"", name, length); }

HRESULT COutputMediaProps::GetConnectionName(WCHAR *name, WORD *length) { return CopyWideString(u"", name, length); }

}  // namespace posix
