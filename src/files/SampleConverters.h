// Widening of a WAV file's samples to 16-bit mono: linear PCM of 8 or 16 bits and the A-law and
// mu-law codes, each channel pair mixed down to one sample.
#pragma once

#include "platform/platform.h"

// The 16-bit value of one A-law or mu-law code.
SHORT ExpandALaw(BYTE code);
SHORT ExpandMuLaw(BYTE code);

// Each writes one sample per frame of channels (1 or 2) samples read from in.
void ConvertPcm8(const BYTE *in, DWORD frames, WORD channels, SHORT *out);
void ConvertPcm16(const BYTE *in, DWORD frames, WORD channels, SHORT *out);
void ConvertALaw(const BYTE *in, DWORD frames, WORD channels, SHORT *out);
void ConvertMuLaw(const BYTE *in, DWORD frames, WORD channels, SHORT *out);
