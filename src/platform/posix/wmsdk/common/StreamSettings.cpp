#include "StreamSettings.h"

#include <vector>

#include "ComPtr.h"

namespace posix {

namespace {

template <class Getter>
HRESULT ReadName(Getter get, std::u16string &name) {
    WORD length = 0;
    HRESULT hr = get(nullptr, &length);
    if (FAILED(hr)) return hr;
    std::vector<WCHAR> text(size_t(length) + 1, 0);
    hr = get(text.data(), &length);
    if (FAILED(hr)) return hr;
    name.assign(text.data());
    return S_OK;
}

HRESULT ReadType(IWMStreamConfig *config, CMediaType &type) {
    ComPtr<IWMMediaProps> props;
    const HRESULT hr = config->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void **>(props.Receive()));
    return FAILED(hr) ? hr : ReadMediaType(props.Get(), type);
}

}  // namespace

HRESULT ReadMediaType(IWMMediaProps *props, CMediaType &type) {
    DWORD size = 0;
    HRESULT hr = props->GetMediaType(nullptr, &size);
    if (FAILED(hr)) return hr;
    if (size < sizeof(WM_MEDIA_TYPE)) return E_INVALIDARG;
    // WM_MEDIA_TYPE holds pointers: keep the record aligned for them.
    std::vector<ULONGLONG> storage((size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG));
    WM_MEDIA_TYPE *record = reinterpret_cast<WM_MEDIA_TYPE *>(storage.data());
    hr = props->GetMediaType(record, &size);
    return FAILED(hr) ? hr : type.Assign(record);
}

HRESULT StreamSettings::Read(IWMStreamConfig *config, StreamSettings &settings) {
    if (!config) return E_POINTER;
    HRESULT hr = config->GetStreamNumber(&settings.number);
    if (SUCCEEDED(hr)) hr = config->GetBitrate(&settings.bitrate);
    if (SUCCEEDED(hr)) hr = config->GetBufferWindow(&settings.bufferWindowMs);
    if (SUCCEEDED(hr))
        hr = ReadName([config](WCHAR *text, WORD *length) { return config->GetStreamName(text, length); },
                      settings.name);
    if (SUCCEEDED(hr))
        hr = ReadName([config](WCHAR *text, WORD *length) { return config->GetConnectionName(text, length); },
                      settings.connection);
    if (SUCCEEDED(hr)) hr = ReadType(config, settings.type);
    return hr;
}

CStreamConfig *StreamSettings::MakeConfig() const {
    CStreamConfig *config = CStreamConfig::Create(number, type, bitrate, bufferWindowMs);
    if (config &&
        (FAILED(config->SetStreamName(name.c_str())) || FAILED(config->SetConnectionName(connection.c_str())))) {
        config->Release();
        return nullptr;
    }
    return config;
}

}  // namespace posix
