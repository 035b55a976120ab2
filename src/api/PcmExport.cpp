// GetAudioPCM: a media file's PCM, or a window of it, into the host's callback.
#include "api/FileObjects.h"
#include "api/Library.h"
#include "brivane.h"

namespace library {
void DisposeDecoder() {}
HRESULT ConvertMediaToWav(LPCWSTR, LPCWSTR) { return E_NOTIMPL; }
}  // namespace library

extern "C" uint32_t BRIVANE_CALL GetAudioPCM(uint32_t, const char *, uint32_t, uint32_t, PcmDataCallback,
                                             BRIVANE_USER, volatile uint32_t *) {
    CLibraryLockScope scope;
    // No decoder exists in this build, so there is none to finish and nothing to decode.
    return 0;
}
