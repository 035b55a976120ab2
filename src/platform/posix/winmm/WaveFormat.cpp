// Format checks and the volume gain of the wave devices. Samples are moved with memcpy: the
// buffers carry no alignment promise.
#include "WaveFormat.h"

#include <cstring>

namespace posix {
namespace {

template <class T, class Scale>
void ScaleSamples(BYTE *data, size_t bytes, const DWORD *levels, size_t channels, Scale scale) {
    for (size_t i = 0; i < bytes / sizeof(T); ++i) {
        T sample;
        std::memcpy(&sample, data + i * sizeof(T), sizeof(T));
        sample = scale(sample, levels[i % channels]);
        std::memcpy(data + i * sizeof(T), &sample, sizeof(T));
    }
}

}  // namespace

bool CWaveFormat::Parse(const WAVEFORMATEX *format) {
    // Integer PCM records may be the 16-byte form without cbSize; nothing past it is read.
    const bool integer = format->wFormatTag == WAVE_FORMAT_PCM;
    const bool floating = format->wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
    const WORD bits = format->wBitsPerSample;
    if (!(integer && (bits == 8 || bits == 16 || bits == 32)) && !(floating && bits == 32)) return false;
    if (format->nChannels < 1 || format->nChannels > 8) return false;
    if (format->nSamplesPerSec < 1000 || format->nSamplesPerSec > 384000) return false;
    const DWORD blockAlign = DWORD(format->nChannels) * bits / 8;
    if (format->nBlockAlign != blockAlign || format->nAvgBytesPerSec != format->nSamplesPerSec * blockAlign)
        return false;
    m_sdlFormat = bits == 8 ? AUDIO_U8 : bits == 16 ? AUDIO_S16LSB : floating ? AUDIO_F32LSB : AUDIO_S32LSB;
    m_channels = format->nChannels;
    m_rate = format->nSamplesPerSec;
    m_blockAlign = blockAlign;
    return true;
}

void CWaveFormat::ApplyGain(BYTE *samples, size_t bytes, DWORD volume) const {
    DWORD levels[8];
    levels[0] = LOWORD(volume);
    for (size_t c = 1; c < m_channels; ++c)
        levels[c] = c == 1 ? HIWORD(volume) : (DWORD(LOWORD(volume)) + HIWORD(volume)) / 2;
    switch (m_sdlFormat) {
    case AUDIO_U8:
        ScaleSamples<uint8_t>(samples, bytes, levels, m_channels, [](uint8_t s, DWORD level) {
            return uint8_t((int32_t(s) - 128) * int32_t(level) / 0xFFFF + 128);
        });
        break;
    case AUDIO_S16LSB:
        ScaleSamples<int16_t>(samples, bytes, levels, m_channels,
                              [](int16_t s, DWORD level) { return int16_t(int32_t(s) * int32_t(level) / 0xFFFF); });
        break;
    case AUDIO_S32LSB:
        ScaleSamples<int32_t>(samples, bytes, levels, m_channels,
                              [](int32_t s, DWORD level) { return int32_t(int64_t(s) * level / 0xFFFF); });
        break;
    default:
        ScaleSamples<float>(samples, bytes, levels, m_channels,
                            [](float s, DWORD level) { return s * float(level) / 65535.0f; });
        break;
    }
}

}  // namespace posix
