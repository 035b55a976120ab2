// Any text, as a Windows Media profile: loaded by the profile manager, its streams and media types
// read back, and a profile that loads given to a writer that begins and ends writing with it, so the
// encoder settings drawn from the text are opened too.
#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace {

void ReadStreams(IWMProfile *profile) {
    DWORD count = 0;
    profile->GetStreamCount(&count);
    for (DWORD i = 0; i < count; ++i) {
        IWMStreamConfig *config = nullptr;
        IWMMediaProps *props = nullptr;
        if (FAILED(profile->GetStream(i, &config))) continue;
        DWORD size = 0;
        if (SUCCEEDED(config->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void **>(&props))) &&
            SUCCEEDED(props->GetMediaType(nullptr, &size))) {
            std::vector<ULONGLONG> storage(size / sizeof(ULONGLONG) + 1);
            props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE *>(storage.data()), &size);
        }
        if (props) props->Release();
        config->Release();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The host hands the profile over as UTF-16 text; the input is taken as its UTF-8 form.
    const int length = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char *>(data), int(size), nullptr, 0);
    std::vector<WCHAR> text(size_t(length > 0 ? length : 0) + 1, 0);
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char *>(data), int(size), text.data(), length);
    IWMProfileManager *manager = nullptr;
    IWMProfile *profile = nullptr;
    IWMWriter *writer = nullptr;
    if (FAILED(WMCreateProfileManager(&manager))) return 0;
    if (SUCCEEDED(manager->LoadProfileByData(text.data(), &profile))) {
        ReadStreams(profile);
        if (SUCCEEDED(WMCreateWriter(nullptr, &writer)) && SUCCEEDED(writer->SetProfile(profile)) &&
            SUCCEEDED(writer->BeginWriting()))
            writer->EndWriting();
        if (writer) writer->Release();
        profile->Release();
    }
    manager->Release();
    return 0;
}
