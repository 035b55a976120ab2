// Loading of speech recordings for encoding: a mono PCM WAV file of 8 or 16 bits at 8 to 48 kHz,
// read whole into memory as 16-bit samples.
#pragma once

#include "platform/platform.h"

// Lowest and highest sample rates a speech recording may have.
constexpr DWORD SPEECH_RATE_MIN = 8000;
constexpr DWORD SPEECH_RATE_MAX = 48000;

// The samples of the file at path as 16-bit signed mono, *count of them, and the file's own format
// record in *format (when given); null when the file is missing, malformed or not speech, the last
// told to the user in a message box. The block is the caller's, freed with HeapFree(GetProcessHeap()).
SHORT *LoadSpeechWave(LPCSTR path, DWORD *count, WAVEFORMATEX *format);
