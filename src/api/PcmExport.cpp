// GetAudioPCM: a media file's PCM, or a window of it, into the host's callback; and Convert's
// media-to-WAV direction, with a decoder of its own.
#include <memory>
#include <new>
#include <vector>

#include "api/FileObjects.h"
#include "api/Library.h"
#include "brivane.h"
#include "core/HeldResources.h"
#include "files/WMVRecompress.h"
#include "files/WidePath.h"

namespace {

// The decoder GetAudioPCM keeps between calls, under the library lock.
CWMVRecompress *g_decoder = nullptr;
// Set while a call uses the decoder: a host callback calling in again, or a second thread before
// InitBrivane (no library lock yet), must not touch the decoder in use.
LONG volatile g_decoderBusy = 0;
// The shutdown came from inside a decode: the decoder goes once that decode has ended.
bool g_disposeAfterUse = false;

void DestroyDecoder() {
    if (!g_decoder) return;
    g_decoder->ReleaseReaderObjects();
    delete g_decoder;
    g_decoder = nullptr;
}

// Ends a use of the kept decoder; also what a fault guard's recovery runs for a use it abandoned.
void EndDecoderUse(void *) {
    if (g_disposeAfterUse) {
        g_disposeAfterUse = false;
        DestroyDecoder();
    }
    InterlockedExchange(&g_decoderBusy, 0);
}

class CDecoderUse {
public:
    CDecoderUse() : m_acquired(InterlockedCompareExchange(&g_decoderBusy, 1, 0) == 0) {
        if (m_acquired) CHeldResources::Hold(&EndDecoderUse, nullptr);
    }
    ~CDecoderUse() {
        if (!m_acquired) return;
        CHeldResources::Drop(&EndDecoderUse, nullptr);
        EndDecoderUse(nullptr);
    }
    CDecoderUse(const CDecoderUse &) = delete;
    CDecoderUse &operator=(const CDecoderUse &) = delete;
    bool Acquired() const { return m_acquired; }

private:
    const bool m_acquired;
};

}  // namespace

namespace library {

void DisposeDecoder() {
    if (g_decoderBusy) {
        g_disposeAfterUse = true;
        return;
    }
    DestroyDecoder();
}

HRESULT ConvertMediaToWav(LPCWSTR targetPath, LPCWSTR sourcePath) {
    std::unique_ptr<CWMVRecompress> decoder(new (std::nothrow) CWMVRecompress);
    if (!decoder) return E_OUTOFMEMORY;
    const HRESULT hr = decoder->DecodeToWavFile(sourcePath, targetPath);
    decoder->ReleaseReaderObjects();
    return hr;
}

}  // namespace library

extern "C" uint32_t BRIVANE_CALL GetAudioPCM(uint32_t kind, const char *path, uint32_t startMs, uint32_t endMs,
                                             PcmDataCallback callback, BRIVANE_USER user, volatile uint32_t *cancel) {
    CLibraryLockScope scope;
    CDecoderUse use;
    if (!use.Acquired()) return 0;
    if (!path) {
        if (!g_decoder) return 0;
        DestroyDecoder();
        return 1;
    }
    if (kind != BRIVANE_KIND_AUDIO || !*path) return 0;
    std::vector<WCHAR> wide;
    if (!WidenPath(path, wide)) return 0;
    if (!g_decoder) {
        g_decoder = new (std::nothrow) CWMVRecompress;
        // A decoder whose reader objects could not all be made stays, and its decodes fail.
        if (!g_decoder || FAILED(g_decoder->CreateReaderObjects())) return 0;
    }
    const HRESULT hr = g_decoder->DecodeToCallback(wide.data(), LONG(startMs), LONG(endMs), callback, user, cancel);
    return SUCCEEDED(hr) ? 1 : 0;
}
