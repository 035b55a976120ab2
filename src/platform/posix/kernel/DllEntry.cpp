// Loader glue of the shared library: the library's entry point sees attach when the library is
// loaded and detach when it is unloaded (at process exit, as the library is never unmapped early).
#include "platform/platform.h"

namespace {

__attribute__((constructor)) void AttachLibrary() { LibraryEntryPoint(nullptr, DLL_PROCESS_ATTACH, nullptr); }

__attribute__((destructor)) void DetachLibrary() { LibraryEntryPoint(nullptr, DLL_PROCESS_DETACH, nullptr); }

}  // namespace
