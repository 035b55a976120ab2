#include "WmProfile.h"

#include <new>

#include "Property.h"

namespace posix {

CWmProfile *CWmProfile::Create(ProfileSettings settings) { return new (std::nothrow) CWmProfile(std::move(settings)); }

void *CWmProfile::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IWMProfile) return static_cast<IWMProfile *>(this);
    return nullptr;
}

HRESULT CWmProfile::GetVersion(WMT_VERSION *version) {
    std::lock_guard<std::mutex> hold(m_lock);
    return PutValue(version, m_settings.version);
}

HRESULT CWmProfile::GetName(WCHAR *name, DWORD *length) { return GetText(&ProfileSettings::name, name, length); }

HRESULT CWmProfile::SetName(const WCHAR *name) { return SetText(&ProfileSettings::name, name); }

HRESULT CWmProfile::GetDescription(WCHAR *description, DWORD *length) {
    return GetText(&ProfileSettings::description, description, length);
}

HRESULT CWmProfile::SetDescription(const WCHAR *description) {
    return SetText(&ProfileSettings::description, description);
}

HRESULT CWmProfile::GetText(std::u16string ProfileSettings::*text, WCHAR *buffer, DWORD *length) {
    std::lock_guard<std::mutex> hold(m_lock);
    return CopyWideString(m_settings.*text, buffer, length);
}

HRESULT CWmProfile::SetText(std::u16string ProfileSettings::*text, const WCHAR *value) {
    std::lock_guard<std::mutex> hold(m_lock);
    return KeepWideString(value, m_settings.*text);
}

HRESULT CWmProfile::GetStreamCount(DWORD *count) {
    std::lock_guard<std::mutex> hold(m_lock);
    return PutValue(count, DWORD(m_settings.streams.size()));
}

HRESULT CWmProfile::HandOut(const StreamSettings &stream, IWMStreamConfig **config) {
    CStreamConfig *copy = stream.MakeConfig();
    if (!copy) return E_OUTOFMEMORY;
    *config = copy;
    return S_OK;
}

int CWmProfile::Find(WORD number) const {
    for (size_t i = 0; i < m_settings.streams.size(); ++i)
        if (m_settings.streams[i].number == number) return int(i);
    return -1;
}

HRESULT CWmProfile::GetStream(DWORD index, IWMStreamConfig **config) {
    if (!config) return E_POINTER;
    std::lock_guard<std::mutex> hold(m_lock);
    if (index >= m_settings.streams.size()) return E_INVALIDARG;
    return HandOut(m_settings.streams[index], config);
}

HRESULT CWmProfile::GetStreamByNumber(WORD number, IWMStreamConfig **config) {
    if (!config) return E_POINTER;
    std::lock_guard<std::mutex> hold(m_lock);
    const int index = Find(number);
    return index < 0 ? E_INVALIDARG : HandOut(m_settings.streams[size_t(index)], config);
}

HRESULT CWmProfile::RemoveStream(IWMStreamConfig *config) {
    WORD number = 0;
    if (!config) return E_POINTER;
    const HRESULT hr = config->GetStreamNumber(&number);
    return FAILED(hr) ? hr : RemoveStreamByNumber(number);
}

HRESULT CWmProfile::RemoveStreamByNumber(WORD number) {
    std::lock_guard<std::mutex> hold(m_lock);
    const int index = Find(number);
    if (index < 0) return E_INVALIDARG;
    m_settings.streams.erase(m_settings.streams.begin() + index);
    return S_OK;
}

template <class Place>
HRESULT CWmProfile::PlaceStream(IWMStreamConfig *config, Place place) {
    try {
        StreamSettings stream;
        const HRESULT hr = StreamSettings::Read(config, stream);
        if (FAILED(hr)) return hr;
        std::lock_guard<std::mutex> hold(m_lock);
        return place(stream);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CWmProfile::AddStream(IWMStreamConfig *config) {
    return PlaceStream(config, [&](StreamSettings &stream) {
        // Stream numbers run from 1 to 63 and name one stream each.
        if (stream.number < 1 || stream.number > 63 || Find(stream.number) >= 0) return E_INVALIDARG;
        m_settings.streams.push_back(std::move(stream));
        return S_OK;
    });
}

HRESULT CWmProfile::ReconfigStream(IWMStreamConfig *config) {
    return PlaceStream(config, [&](StreamSettings &stream) {
        const int index = Find(stream.number);
        if (index < 0) return E_INVALIDARG;
        m_settings.streams[size_t(index)] = std::move(stream);
        return S_OK;
    });
}

HRESULT CWmProfile::CreateNewStream(REFGUID type, IWMStreamConfig **config) {
    if (!config) return E_POINTER;
    WM_MEDIA_TYPE record = {};
    record.majortype = type;
    StreamSettings stream;
    const HRESULT hr = stream.type.Assign(&record);
    return FAILED(hr) ? hr : HandOut(stream, config);
}

HRESULT CWmProfile::GetMutualExclusionCount(DWORD *count) { return PutValue(count, DWORD(0)); }

}  // namespace posix
