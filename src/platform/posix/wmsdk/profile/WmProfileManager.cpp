#include "WmProfileManager.h"

#include <new>

#include "WmProfile.h"

namespace posix {

CWmProfileManager *CWmProfileManager::Create() { return new (std::nothrow) CWmProfileManager(); }

HRESULT CWmProfileManager::QueryInterface(REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWMProfileManager) {
        *object = static_cast<IWMProfileManager *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CWmProfileManager::AddRef() { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CWmProfileManager::Release()
{
    const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CWmProfileManager::CreateEmptyProfile(WMT_VERSION version, IWMProfile **profile)
{
    if (!profile)
        return E_POINTER;
    ProfileSettings settings;
    settings.version = version;
    *profile = CWmProfile::Create(std::move(settings));
    return *profile ? S_OK : E_OUTOFMEMORY;
}

HRESULT CWmProfileManager::LoadProfileByData(const WCHAR *text, IWMProfile **profile)
{
    if (!text || !profile)
        return E_POINTER;
    *profile = nullptr;
    try {
        ProfileSettings settings;
        const HRESULT hr = ParseProfile(text, settings);
        if (FAILED(hr))
            return hr;
        *profile = CWmProfile::Create(std::move(settings));
        return *profile ? S_OK : E_OUTOFMEMORY;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CWmProfileManager::GetSystemProfileCount(DWORD *count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

}  // namespace posix

HRESULT WMCreateProfileManager(IWMProfileManager **manager)
{
    if (!manager)
        return E_POINTER;
    *manager = posix::CWmProfileManager::Create();
    return *manager ? S_OK : E_OUTOFMEMORY;
}
