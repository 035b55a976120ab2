// Runs a callable under the platform's fault guard; returns 0 or the code of the fault it raised.
#pragma once

#include <type_traits>

#include "core/HeldResources.h"
#include "platform/platform.h"

template <class F>
DWORD RunGuarded(F &&body) {
    using Body = std::remove_reference_t<F>;
    const int held = CHeldResources::Depth();
    const DWORD fault = PlatformRunGuarded([](void *p) { (*static_cast<Body *>(p))(); }, &body);
    // A recovery skipped the destructors of the abandoned frames: give back the locks they held.
    if (fault) CHeldResources::ReleaseTo(held);
    return fault;
}

// Copies bytes the host owns under the fault guard, so that a bad image faults only this copy;
// FALSE, with a debug line, when it faulted.
BOOL CopyGuarded(void *to, const void *from, size_t bytes);
