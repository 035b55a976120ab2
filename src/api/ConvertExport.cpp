// Convert: WAV to WMA with the host's profile, and any medium to WAV, on the caller's thread.
#include "api/FileObjects.h"
#include "api/Library.h"
#include "brivane.h"

namespace library {
void DisposeEncoder() {}
}  // namespace library

extern "C" uint32_t BRIVANE_CALL Convert(uint32_t targetKind, const char *, uint32_t sourceKind, const char *,
                                         const BRIVANE_WCHAR *) {
    CLibraryLockScope scope;
    // Neither the WMA encoder nor the WAV writer is part of this build yet: every pair fails.
    (void)targetKind;
    (void)sourceKind;
    return 0;
}
