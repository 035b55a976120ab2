// A Windows Media profile: its name, description, version and streams. Streams are handed out as
// copies; a changed copy takes effect through ReconfigStream, as with the SDK's profiles.
#pragma once

#include <mutex>

#include "platform/ComObject.h"
#include "WmProfileParser.h"

namespace posix {

class CWmProfile final : public CComObject<IWMProfile> {
public:
    // One reference; null when memory is short.
    static CWmProfile *Create(ProfileSettings settings);

    HRESULT STDMETHODCALLTYPE GetVersion(WMT_VERSION *version) override;
    HRESULT STDMETHODCALLTYPE GetName(WCHAR *name, DWORD *length) override;
    HRESULT STDMETHODCALLTYPE SetName(const WCHAR *name) override;
    HRESULT STDMETHODCALLTYPE GetDescription(WCHAR *description, DWORD *length) override;
    HRESULT STDMETHODCALLTYPE SetDescription(const WCHAR *description) override;
    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD *count) override;
    HRESULT STDMETHODCALLTYPE GetStream(DWORD index, IWMStreamConfig **config) override;
    HRESULT STDMETHODCALLTYPE GetStreamByNumber(WORD number, IWMStreamConfig **config) override;
    HRESULT STDMETHODCALLTYPE RemoveStream(IWMStreamConfig *config) override;
    HRESULT STDMETHODCALLTYPE RemoveStreamByNumber(WORD number) override;
    HRESULT STDMETHODCALLTYPE AddStream(IWMStreamConfig *config) override;
    HRESULT STDMETHODCALLTYPE ReconfigStream(IWMStreamConfig *config) override;
    HRESULT STDMETHODCALLTYPE CreateNewStream(REFGUID type, IWMStreamConfig **config) override;
    // Streams here never exclude one another.
    HRESULT STDMETHODCALLTYPE GetMutualExclusionCount(DWORD *count) override;
    HRESULT STDMETHODCALLTYPE GetMutualExclusion(DWORD, IWMMutualExclusion **) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE RemoveMutualExclusion(IWMMutualExclusion *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddMutualExclusion(IWMMutualExclusion *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNewMutualExclusion(IWMMutualExclusion **) override { return E_NOTIMPL; }

private:
    void *FindInterface(REFIID riid) override;
    explicit CWmProfile(ProfileSettings settings) : m_settings(std::move(settings)) {}
    ~CWmProfile() = default;

    // The name and the description: the profile's two strings.
    HRESULT GetText(std::u16string ProfileSettings::*text, WCHAR *buffer, DWORD *length);
    HRESULT SetText(std::u16string ProfileSettings::*text, const WCHAR *value);
    HRESULT HandOut(const StreamSettings &stream, IWMStreamConfig **config);
    // Reads the host's stream configuration, then lets `place` put it into the profile under the lock.
    template <class Place>
    HRESULT PlaceStream(IWMStreamConfig *config, Place place);
    // The index of the stream with that number, or -1.
    int Find(WORD number) const;

    std::mutex m_lock;
    ProfileSettings m_settings;
};

}  // namespace posix
