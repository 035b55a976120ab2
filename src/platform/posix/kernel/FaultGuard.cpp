// The fault guard: here the faults it can catch are the C++ exceptions that escape fn.
#include "platform/platform.h"

DWORD PlatformRunGuarded(void (*fn)(void *), void *arg) {
    try {
        fn(arg);
    } catch (...) {
        return PLATFORM_CPP_EXCEPTION_CODE;
    }
    return 0;
}
