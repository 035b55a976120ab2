// AudioWavGetData / AudioWavFreeData: a WAV file as 16-bit mono samples, owned by the host.
#include <cstdlib>

#include "brivane.h"

extern "C" {

int16_t *BRIVANE_CALL AudioWavGetData(const BRIVANE_WCHAR *, uint32_t *sampleCount, BrivaneWaveFormat *, uint32_t) {
    if (sampleCount) *sampleCount = 0;
    return nullptr;
}

uint32_t BRIVANE_CALL AudioWavFreeData(void *data) {
    std::free(data);
    return 1;
}

}  // extern "C"
