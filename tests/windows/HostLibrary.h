// The host's view of Brivane.dll: loaded at run time and reached only through its 22 exports.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "brivane.h"

// The exports in ordinal order.
#define BRIVANE_EXPORT_LIST(X)                                                                        \
    X(AudioInClose) X(AudioInOpen) X(AudioInSetVolume) X(AudioInStart) X(AudioInStop) X(AudioOutClose) \
    X(AudioOutFileOpen) X(AudioOutGetWholeDuration) X(AudioOutOpen) X(AudioOutPlay) X(AudioOutSeek)    \
    X(AudioOutSetDuration) X(AudioOutSetEventMask) X(AudioOutSetSpeed) X(AudioOutSetVolume)            \
    X(AudioWavFreeData) X(AudioWavGetData) X(Convert) X(GetAudioPCM) X(GetWmaFileDuration)             \
    X(InitBrivane) X(UnInitBrivane)

struct BrivaneExports {
#define BRIVANE_EXPORT_MEMBER(name) decltype(&::name) name = nullptr;
    BRIVANE_EXPORT_LIST(BRIVANE_EXPORT_MEMBER)
#undef BRIVANE_EXPORT_MEMBER
};

// The loaded library; the suite fails before any test when it cannot be loaded or resolved.
HMODULE BrivaneModule();
const BrivaneExports &Brivane();

// Lines the library sent to the debugger since the suite started.
bool WaitForDebugLine(const char *line, DWORD timeoutMs);
size_t CountDebugLines(const char *prefix);
