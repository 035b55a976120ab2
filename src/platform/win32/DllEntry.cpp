// The loader's entry point: the library's own attach and detach work, then the fault guards go.
#include "platform/platform.h"
#include "platform/win32/FaultGuard.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    BOOL result = LibraryEntryPoint(instance, reason, reserved);
    // Detach work may still run guarded code, so the handler leaves only after it.
    if (reason == DLL_PROCESS_DETACH) PlatformReleaseFaultGuards();
    return result;
}
