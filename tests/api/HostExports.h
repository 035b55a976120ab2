// The 22 exports through one table: from the linked library on Linux, from Brivane.dll loaded at run time on Windows.
#pragma once

#include "brivane.h"

// The exports in ordinal order.
// clang-format off
#define BRIVANE_EXPORT_LIST(X)      \
    X(AudioInClose)             \
    X(AudioInOpen)              \
    X(AudioInSetVolume)         \
    X(AudioInStart)             \
    X(AudioInStop)              \
    X(AudioOutClose)            \
    X(AudioOutFileOpen)         \
    X(AudioOutGetWholeDuration) \
    X(AudioOutOpen)             \
    X(AudioOutPlay)             \
    X(AudioOutSeek)             \
    X(AudioOutSetDuration)      \
    X(AudioOutSetEventMask)     \
    X(AudioOutSetSpeed)         \
    X(AudioOutSetVolume)        \
    X(AudioWavFreeData)         \
    X(AudioWavGetData)          \
    X(Convert)                  \
    X(GetAudioPCM)              \
    X(GetWmaFileDuration)       \
    X(InitBrivane)              \
    X(UnInitBrivane)
// clang-format on

struct BrivaneExports {
#define BRIVANE_EXPORT_MEMBER(name) decltype(&::name) name = nullptr;
    BRIVANE_EXPORT_LIST(BRIVANE_EXPORT_MEMBER)
#undef BRIVANE_EXPORT_MEMBER
};

// On Windows the suite fails before any test when the library cannot be loaded or resolved.
const BrivaneExports &Brivane();
