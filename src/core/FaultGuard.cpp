#include "core/FaultGuard.h"

#include <cstring>

#include "core/DebugOutput.h"

BOOL CopyGuarded(void *to, const void *from, size_t bytes) {
    const DWORD fault = RunGuarded([&] { std::memcpy(to, from, bytes); });
    if (fault) DebugPrintf("CopyGuarded, Exception: 0X%X", static_cast<unsigned>(fault));
    return fault == 0;
}
