// One stream's encoder: the input's PCM converted (sample format, rate, channels) by libswresample,
// cut into the codec's frames and encoded by libavcodec.
#pragma once

#include <functional>
#include <vector>

#include "WmEncoding.h"

struct AVAudioFifo;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace posix {

class CWmAudioEncoder {
public:
    using PacketHandler = std::function<HRESULT(AVPacket *)>;

    CWmAudioEncoder() = default;
    ~CWmAudioEncoder();
    CWmAudioEncoder(const CWmAudioEncoder &) = delete;
    CWmAudioEncoder &operator=(const CWmAudioEncoder &) = delete;

    // NS_E_AUDIO_CODEC_ERROR when FFmpeg refuses the settings; a bit rate above what the codec's
    // largest frame holds is moved down and noted in settings.
    HRESULT Open(EncoderSettings &settings, const WAVEFORMATEX &input);
    const AVCodecContext *Codec() const { return m_codec; }

    // PCM of any length: a frame split across calls is joined; every finished packet goes to emit.
    HRESULT Write(const BYTE *data, DWORD bytes, const PacketHandler &emit);
    // The resampler's tail and the last frame, padded with silence where the codec needs whole frames.
    HRESULT Finish(const PacketHandler &emit);

private:
    HRESULT Convert(const BYTE *data, int frames);
    HRESULT EncodeFrames(bool final, const PacketHandler &emit);
    HRESULT Drain(const PacketHandler &emit);

    AVCodecContext *m_codec = nullptr;
    SwrContext *m_resampler = nullptr;
    AVAudioFifo *m_fifo = nullptr;
    AVFrame *m_frame = nullptr;
    AVFrame *m_converted = nullptr;
    AVPacket *m_packet = nullptr;
    int m_frameSamples = 0;
    WORD m_inputBlockAlign = 0;
    std::vector<BYTE> m_partial;
    long long m_nextPts = 0;
};

}  // namespace posix
