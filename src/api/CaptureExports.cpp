// Capture exports that reserve and close entries; start and stop post like the playback commands.
#include <cstdlib>
#include <cstring>

#include "api/Library.h"
#include "api/OpenEntry.h"
#include "brivane.h"

void CloseInstance(uint32_t handle, DWORD closeCommand);

extern "C" {

uint32_t BRIVANE_CALL AudioInOpen(uint32_t kind, const BrivaneWaveFormat *format, const BRIVANE_WCHAR *profileXml,
                                  AudioInCallback callback, BRIVANE_USER user) {
    static_assert(sizeof(BrivaneWaveFormat) == sizeof(WAVEFORMATEX), "the wave format record is 18 bytes");
    if (kind != BRIVANE_KIND_AUDIO || !format) return 0;
    // Read before any lock is taken: a bad pointer then faults with nothing of the library held.
    WAVEFORMATEX record;
    std::memcpy(&record, format, sizeof record);
    return OpenEntry(
        sizeof record, sizeof record, [&](void *copy) { std::memcpy(copy, &record, sizeof record); },
        [&](CAudioService *service, WORD handle) {
            service->SetCaptureCallback(callback, user);
            service->Post(MakeCommand(CMD_REC_OPEN, handle), 0, TRUE, const_cast<BRIVANE_WCHAR *>(profileXml), 0, 0);
        });
}

void BRIVANE_CALL AudioInClose(uint32_t handle) { CloseInstance(handle, CMD_REC_CLOSE); }

uint32_t BRIVANE_CALL AudioInSetVolume(uint32_t, uint32_t) {
    CLibraryLockScope scope;
    return 0;
}

}  // extern "C"
