#include "WmEncoding.h"

#include <cstring>

namespace posix {

namespace {

// The limits of FFmpeg's Windows Media Audio encoders.
const LONGLONG kWmaMinBitrate = 24000;
const DWORD kWmaMaxRate = 48000;
const WORD kWmaMaxChannels = 2;

}  // namespace

void NoteMove(EncoderSettings &settings, const char *what, LONGLONG from, LONGLONG to) {
    if (!settings.moved.empty()) settings.moved += ", ";
    settings.moved += std::string(what) + " " + std::to_string(from) + " -> " + std::to_string(to);
}

HRESULT ChooseEncoderSettings(const WAVEFORMATEX &format, DWORD streamBitrate, EncoderSettings &settings) {
    settings.rate = format.nSamplesPerSec;
    settings.channels = format.nChannels;
    settings.bitrate = format.nAvgBytesPerSec ? LONGLONG(format.nAvgBytesPerSec) * 8 : LONGLONG(streamBitrate);
    switch (format.wFormatTag) {
    case WAVE_FORMAT_PCM:
        settings.codec = StreamCodec::Pcm;
        settings.bits = format.wBitsPerSample;
        if (settings.bits != 8 && settings.bits != 16 && settings.bits != 24 && settings.bits != 32) {
            NoteMove(settings, "bits per sample", settings.bits, 16);
            settings.bits = 16;
        }
        settings.bitrate = LONGLONG(settings.rate) * settings.channels * settings.bits;
        return S_OK;
    case 0x160: settings.codec = StreamCodec::Wmav1; break;
    case 0x161: settings.codec = StreamCodec::Wmav2; break;
    default: return NS_E_AUDIO_CODEC_NOT_INSTALLED;
    }
    if (settings.rate > kWmaMaxRate) {
        NoteMove(settings, "sample rate", settings.rate, kWmaMaxRate);
        settings.rate = kWmaMaxRate;
    }
    if (settings.channels > kWmaMaxChannels) {
        NoteMove(settings, "channels", settings.channels, kWmaMaxChannels);
        settings.channels = kWmaMaxChannels;
    }
    if (settings.bitrate < kWmaMinBitrate) {
        NoteMove(settings, "bit rate", settings.bitrate, kWmaMinBitrate);
        settings.bitrate = kWmaMinBitrate;
    }
    return S_OK;
}

HRESULT ReadStreamFormat(const CMediaType &type, WAVEFORMATEX &format) {
    const WM_MEDIA_TYPE &record = type.Record();
    if (record.majortype != WMMEDIATYPE_Audio || record.formattype != WMFORMAT_WaveFormatEx ||
        type.Format().size() < 16)
        return NS_E_INVALID_STREAM;
    format = WAVEFORMATEX();
    std::memcpy(&format, type.Format().data(), 16);
    if (format.nChannels < 1 || format.nChannels > 8 || format.nSamplesPerSec < 1000 || format.nSamplesPerSec > 192000)
        return NS_E_INVALID_STREAM;
    return S_OK;
}

HRESULT ReadPcmInput(const CMediaType &type, WAVEFORMATEX &format) {
    const WM_MEDIA_TYPE &record = type.Record();
    if (record.majortype != WMMEDIATYPE_Audio || record.formattype != WMFORMAT_WaveFormatEx ||
        type.Format().size() < 16)
        return NS_E_INVALID_INPUT_FORMAT;
    format = WAVEFORMATEX();
    std::memcpy(&format, type.Format().data(), 16);
    const bool bitsTaken = format.wBitsPerSample == 8 || format.wBitsPerSample == 16 || format.wBitsPerSample == 32;
    if (format.wFormatTag != WAVE_FORMAT_PCM || !bitsTaken || format.nChannels < 1 || format.nChannels > 8 ||
        format.nSamplesPerSec < 1000 || format.nSamplesPerSec > 384000 ||
        format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8)
        return NS_E_INVALID_INPUT_FORMAT;
    return S_OK;
}

}  // namespace posix
