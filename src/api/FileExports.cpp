// File exports: they run on the caller's thread and need no initialisation.
#include <cstdlib>

#include "api/Library.h"
#include "brivane.h"

extern "C" {

uint32_t BRIVANE_CALL Convert(uint32_t targetKind, const char *, uint32_t sourceKind, const char *,
                              const BRIVANE_WCHAR *) {
    CLibraryLockScope scope;
    // Neither the WMA encoder nor the WAV writer is part of this build yet: every pair fails.
    (void)targetKind;
    (void)sourceKind;
    return 0;
}

uint32_t BRIVANE_CALL GetAudioPCM(uint32_t, const char *, uint32_t, uint32_t, PcmDataCallback, BRIVANE_USER,
                                  volatile uint32_t *) {
    CLibraryLockScope scope;
    // No decoder exists in this build, so there is none to finish and nothing to decode.
    return 0;
}

uint32_t BRIVANE_CALL GetWmaFileDuration(const BRIVANE_WCHAR *) { return 0; }

int16_t *BRIVANE_CALL AudioWavGetData(const BRIVANE_WCHAR *, uint32_t *sampleCount, BrivaneWaveFormat *, uint32_t) {
    if (sampleCount) *sampleCount = 0;
    return nullptr;
}

uint32_t BRIVANE_CALL AudioWavFreeData(void *data) {
    std::free(data);
    return 1;
}

}  // extern "C"
