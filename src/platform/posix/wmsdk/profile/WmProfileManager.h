// The profile manager: profiles from the XML text of a .prx file. There are no system profiles.
#pragma once

#include "platform/ComObject.h"
#include "wmsdk.h"

namespace posix {

class CWmProfileManager final : public CComObject<IWMProfileManager> {
public:
    // One reference; null when memory is short.
    static CWmProfileManager *Create();

    HRESULT STDMETHODCALLTYPE CreateEmptyProfile(WMT_VERSION version, IWMProfile **profile) override;
    HRESULT STDMETHODCALLTYPE LoadProfileByID(REFGUID, IWMProfile **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LoadProfileByData(const WCHAR *text, IWMProfile **profile) override;
    HRESULT STDMETHODCALLTYPE SaveProfile(IWMProfile *, WCHAR *, DWORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemProfileCount(DWORD *count) override;
    HRESULT STDMETHODCALLTYPE LoadSystemProfile(DWORD, IWMProfile **) override { return E_INVALIDARG; }

private:
    void *FindInterface(REFIID riid) override;
    CWmProfileManager() = default;
    ~CWmProfileManager() = default;
};

}  // namespace posix
