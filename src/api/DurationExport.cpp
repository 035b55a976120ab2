// GetWmaFileDuration: a media file's duration in milliseconds, without the library lock.
#include "api/FileObjects.h"
#include "brivane.h"

namespace library {
void DisposeDurationProbe() {}
}  // namespace library

extern "C" uint32_t BRIVANE_CALL GetWmaFileDuration(const BRIVANE_WCHAR *) { return 0; }
