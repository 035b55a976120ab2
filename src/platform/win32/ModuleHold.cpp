// A reference of the library's own to its module, taken while it is initialised: a host's FreeLibrary
// then only drops the host's reference, and the module stays mapped while the library's threads run.
#include "platform/platform.h"

namespace {
HMODULE g_held = nullptr;
}  // namespace

BOOL PlatformHoldModule() {
    if (g_held) return TRUE;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&PlatformHoldModule),
                              &g_held);
}

// Called on a thread inside the library while the host still holds its own reference, so the
// module is not unmapped under the caller.
void PlatformReleaseModule() {
    if (!g_held) return;
    HMODULE module = g_held;
    g_held = nullptr;
    FreeLibrary(module);
}
