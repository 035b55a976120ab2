// Runs a callable under the platform's fault guard; returns 0 or the code of the fault it raised.
#pragma once

#include <type_traits>

#include "platform/platform.h"

template <class F>
DWORD RunGuarded(F &&body) {
    using Body = std::remove_reference_t<F>;
    return PlatformRunGuarded([](void *p) { (*static_cast<Body *>(p))(); }, &body);
}
