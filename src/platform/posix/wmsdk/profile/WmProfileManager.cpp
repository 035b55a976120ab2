#include "WmProfileManager.h"

#include <new>

#include "Property.h"
#include "WmProfile.h"

namespace posix {

CWmProfileManager *CWmProfileManager::Create() { return new (std::nothrow) CWmProfileManager(); }

void *CWmProfileManager::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IWMProfileManager) return static_cast<IWMProfileManager *>(this);
    return nullptr;
}

HRESULT CWmProfileManager::CreateEmptyProfile(WMT_VERSION version, IWMProfile **profile) {
    if (!profile) return E_POINTER;
    ProfileSettings settings;
    settings.version = version;
    *profile = CWmProfile::Create(std::move(settings));
    return *profile ? S_OK : E_OUTOFMEMORY;
}

HRESULT CWmProfileManager::LoadProfileByData(const WCHAR *text, IWMProfile **profile) {
    if (!text || !profile) return E_POINTER;
    *profile = nullptr;
    try {
        ProfileSettings settings;
        const HRESULT hr = ParseProfile(text, settings);
        if (FAILED(hr)) return hr;
        *profile = CWmProfile::Create(std::move(settings));
        return *profile ? S_OK : E_OUTOFMEMORY;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CWmProfileManager::GetSystemProfileCount(DWORD *count) { return PutValue(count, DWORD(0)); }

}  // namespace posix

HRESULT WMCreateProfileManager(IWMProfileManager **manager) {
    if (!manager) return E_POINTER;
    *manager = posix::CWmProfileManager::Create();
    return *manager ? S_OK : E_OUTOFMEMORY;
}
