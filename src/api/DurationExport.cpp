// GetWmaFileDuration: a media file's duration in milliseconds, without the library lock; hosts that
// ask from several threads serialise their calls.
#include <new>

#include "api/FileObjects.h"
#include "brivane.h"
#include "playback/DurationProbe.h"

namespace {
CDurationProbe *g_probe = nullptr;
}  // namespace

namespace library {
void DisposeDurationProbe() {
    if (!g_probe) return;
    g_probe->Dispose();
    delete g_probe;
    g_probe = nullptr;
}
}  // namespace library

extern "C" uint32_t BRIVANE_CALL GetWmaFileDuration(const BRIVANE_WCHAR *path) {
    if (!g_probe) {
        g_probe = new (std::nothrow) CDurationProbe;
        if (!g_probe) return 0;
        if (FAILED(g_probe->Prepare())) return 0;
    }
    return g_probe->Probe(reinterpret_cast<LPCWSTR>(path));
}
