#include "files/SampleConverters.h"

namespace {

const BYTE kSignBit = 0x80;
// Even bits of an A-law code are sent inverted, so that silence is not a run of zeros on the line.
const BYTE kALawEvenBits = 0x55;
const int kMuLawSegmentBase[8] = {0, 132, 396, 924, 1980, 4092, 8316, 16764};

int Segment(BYTE code) { return (code >> 4) & 7; }
int Mantissa(BYTE code) { return code & 0x0F; }

SHORT Pcm16At(const BYTE *in) { return static_cast<SHORT>(in[0] | in[1] << 8); }

// Companded stereo frames mix as the truncated mean of their two expansions.
template <SHORT (*Expand)(BYTE)>
void ConvertCompanded(const BYTE *in, DWORD frames, WORD channels, SHORT *out) {
    if (channels == 1) {
        for (DWORD i = 0; i < frames; ++i) out[i] = Expand(in[i]);
        return;
    }
    for (DWORD i = 0; i < frames; ++i, in += 2) out[i] = static_cast<SHORT>((Expand(in[0]) + Expand(in[1])) / 2);
}

}  // namespace

SHORT ExpandALaw(BYTE code) {
    const BYTE a = code ^ kALawEvenBits;
    const int segment = Segment(a);
    int magnitude = Mantissa(a) * 16 + 8;
    if (segment >= 1) magnitude += 256;
    if (segment >= 2) magnitude <<= segment - 1;
    return static_cast<SHORT>((a & kSignBit) ? magnitude : -magnitude);
}

SHORT ExpandMuLaw(BYTE code) {
    const BYTE u = static_cast<BYTE>(~code);
    const int segment = Segment(u);
    const int magnitude = (Mantissa(u) << (segment + 3)) + kMuLawSegmentBase[segment];
    return static_cast<SHORT>((u & kSignBit) ? -magnitude : magnitude);
}

void ConvertPcm8(const BYTE *in, DWORD frames, WORD channels, SHORT *out) {
    if (channels == 1) {
        for (DWORD i = 0; i < frames; ++i) out[i] = static_cast<SHORT>((in[i] - 128) * 256);
        return;
    }
    for (DWORD i = 0; i < frames; ++i, in += 2) out[i] = static_cast<SHORT>(((in[0] - 128) + (in[1] - 128)) * 128);
}

void ConvertPcm16(const BYTE *in, DWORD frames, WORD channels, SHORT *out) {
    if (channels == 1) {
        for (DWORD i = 0; i < frames; ++i, in += 2) out[i] = Pcm16At(in);
        return;
    }
    for (DWORD i = 0; i < frames; ++i, in += 4) out[i] = static_cast<SHORT>((Pcm16At(in) + Pcm16At(in + 2)) / 2);
}

void ConvertALaw(const BYTE *in, DWORD frames, WORD channels, SHORT *out) {
    ConvertCompanded<ExpandALaw>(in, frames, channels, out);
}

void ConvertMuLaw(const BYTE *in, DWORD frames, WORD channels, SHORT *out) {
    ConvertCompanded<ExpandMuLaw>(in, frames, channels, out);
}
