// Windows multimedia: the millisecond clock.
#pragma once

#include "windows_types.h"

// Milliseconds on a steady clock, wrapping at 2^32.
DWORD timeGetTime(void);

#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
} WAVEFORMATEX, *PWAVEFORMATEX, *LPWAVEFORMATEX;
#pragma pack(pop)
typedef const WAVEFORMATEX *LPCWAVEFORMATEX;

#define WAVE_FORMAT_PCM 1
