// Convert: WAV to WMA with the host's profile, and any medium to WAV, on the caller's thread.
#include <new>
#include <vector>

#include "api/FileObjects.h"
#include "api/Library.h"
#include "brivane.h"
#include "files/WidePath.h"
#include "files/WmaEncoder.h"

namespace {
CWmaEncoder *g_encoder = nullptr;

HRESULT ConvertWavToWma(const char *targetPath, const char *sourcePath, const BRIVANE_WCHAR *profileXml) {
    if (!g_encoder) {
        g_encoder = new (std::nothrow) CWmaEncoder;
        if (!g_encoder) return E_OUTOFMEMORY;
    }
    // Initialising again is a no-op once it has worked, and a retry after it failed.
    HRESULT hr = g_encoder->Initialise();
    if (FAILED(hr)) return hr;
    return g_encoder->Encode(sourcePath, targetPath, reinterpret_cast<LPCWSTR>(profileXml));
}

HRESULT ConvertToWav(const char *targetPath, const char *sourcePath) {
    std::vector<WCHAR> target;
    std::vector<WCHAR> source;
    if (!WidenPath(targetPath, target) || !WidenPath(sourcePath, source)) return E_INVALIDARG;
    return library::ConvertMediaToWav(target.empty() ? nullptr : target.data(),
                                      source.empty() ? nullptr : source.data());
}
}  // namespace

namespace library {
void DisposeEncoder() {
    if (!g_encoder) return;
    g_encoder->ReleaseWriter();
    delete g_encoder;
    g_encoder = nullptr;
}
}  // namespace library

extern "C" uint32_t BRIVANE_CALL Convert(uint32_t targetKind, const char *targetPath, uint32_t sourceKind,
                                         const char *sourcePath, const BRIVANE_WCHAR *profileXml) {
    CLibraryLockScope scope;
    HRESULT hr = E_INVALIDARG;
    if (targetKind == BRIVANE_KIND_WMA && sourceKind == BRIVANE_KIND_WAV)
        hr = ConvertWavToWma(targetPath, sourcePath, profileXml);
    else if (targetKind == BRIVANE_KIND_WAV && sourceKind == BRIVANE_KIND_WMA)
        hr = ConvertToWav(targetPath, sourcePath);
    return SUCCEEDED(hr) ? 1 : 0;
}
