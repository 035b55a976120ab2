// The component object library needs no per-thread state here beyond how often each thread
// initialised it, which decides between S_OK and S_FALSE.
#include "ole32.h"

namespace {
thread_local unsigned t_initCount = 0;
}

HRESULT CoInitialize(LPVOID reserved) {
    if (reserved) return E_INVALIDARG;
    return t_initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize(void) {
    if (t_initCount > 0) --t_initCount;
}
