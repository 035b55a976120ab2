// A wave format as the devices carry it: the caller's PCM record, checked, and the SDL sample
// format that matches it exactly.
#pragma once

#include <SDL.h>

#include <cstddef>

#include "winmm.h"

namespace posix {

class CWaveFormat {
public:
    // False for a record no device takes: not integer PCM of 8, 16 or 32 bits or 32-bit float,
    // 1 to 8 channels, 1000 to 384000 frames per second, block alignment and byte rate consistent.
    bool Parse(const WAVEFORMATEX *format);

    SDL_AudioFormat SdlFormat() const { return m_sdlFormat; }
    Uint8 Channels() const { return Uint8(m_channels); }
    int Rate() const { return int(m_rate); }
    size_t BlockAlign() const { return m_blockAlign; }
    BYTE Silence() const { return m_sdlFormat == AUDIO_U8 ? 0x80 : 0; }
    bool SameAs(const CWaveFormat &other) const {
        return m_sdlFormat == other.m_sdlFormat && m_channels == other.m_channels && m_rate == other.m_rate;
    }

    // Scales samples by the levels (0xFFFF is unity): a mono stream by the left level; the first
    // channel by the left, the second by the right, any further one by their mean.
    void ApplyGain(BYTE *samples, size_t bytes, DWORD volume) const;

private:
    SDL_AudioFormat m_sdlFormat = 0;
    WORD m_channels = 0;
    DWORD m_rate = 0;
    size_t m_blockAlign = 0;
};

}  // namespace posix
