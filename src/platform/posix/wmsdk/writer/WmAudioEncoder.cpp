#include "WmAudioEncoder.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "FfmpegLogging.h"

namespace posix {

namespace {

AVCodecID CodecId(const EncoderSettings &settings) {
    switch (settings.codec) {
    case StreamCodec::Wmav1: return AV_CODEC_ID_WMAV1;
    case StreamCodec::Wmav2: return AV_CODEC_ID_WMAV2;
    case StreamCodec::Pcm: break;
    }
    switch (settings.bits) {
    case 8: return AV_CODEC_ID_PCM_U8;
    case 24: return AV_CODEC_ID_PCM_S24LE;
    case 32: return AV_CODEC_ID_PCM_S32LE;
    default: return AV_CODEC_ID_PCM_S16LE;
    }
}

AVSampleFormat InputSampleFormat(WORD bits) {
    return bits == 8 ? AV_SAMPLE_FMT_U8 : bits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
}

}  // namespace

CWmAudioEncoder::~CWmAudioEncoder() {
    av_packet_free(&m_packet);
    av_frame_free(&m_converted);
    av_frame_free(&m_frame);
    if (m_fifo) av_audio_fifo_free(m_fifo);
    swr_free(&m_resampler);
    avcodec_free_context(&m_codec);
}

HRESULT CWmAudioEncoder::Open(EncoderSettings &settings, const WAVEFORMATEX &input) {
    SetUpFfmpegLogging();
    const AVCodec *codec = avcodec_find_encoder(CodecId(settings));
    if (!codec || !codec->sample_fmts) return NS_E_AUDIO_CODEC_NOT_INSTALLED;
    m_codec = avcodec_alloc_context3(codec);
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    m_converted = av_frame_alloc();
    if (!m_codec || !m_packet || !m_frame || !m_converted) return E_OUTOFMEMORY;
    m_codec->sample_fmt = codec->sample_fmts[0];
    m_codec->sample_rate = int(settings.rate);
    m_codec->bit_rate = settings.bitrate;
    m_codec->time_base = AVRational{1, int(settings.rate)};
    // The container keeps the codec's setup data in its header, never in the packets.
    m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_channel_layout_default(&m_codec->ch_layout, settings.channels);
    if (avcodec_open2(m_codec, codec, nullptr) < 0) return NS_E_AUDIO_CODEC_ERROR;
    if (settings.codec != StreamCodec::Pcm && m_codec->frame_size > 0) {
        // A frame takes bitrate x frame size / (rate x 8) bytes, up to the codec's largest frame.
        const LONGLONG rateBits = LONGLONG(settings.rate) * 8;
        if (m_codec->block_align < settings.bitrate * m_codec->frame_size / rateBits) {
            const LONGLONG most = LONGLONG(m_codec->block_align) * rateBits / m_codec->frame_size;
            NoteMove(settings, "bit rate", settings.bitrate, most);
            settings.bitrate = m_codec->bit_rate = most;
        }
    }
    // Sample-by-sample codecs take any frame length: 50 ms keeps the container's packets small.
    m_frameSamples = m_codec->frame_size > 0 ? m_codec->frame_size : std::max(1, m_codec->sample_rate / 20);

    AVChannelLayout inputLayout;
    av_channel_layout_default(&inputLayout, input.nChannels);
    const int made =
        swr_alloc_set_opts2(&m_resampler, &m_codec->ch_layout, m_codec->sample_fmt, m_codec->sample_rate, &inputLayout,
                            InputSampleFormat(input.wBitsPerSample), int(input.nSamplesPerSec), 0, nullptr);
    av_channel_layout_uninit(&inputLayout);
    if (made < 0 || swr_init(m_resampler) < 0) return NS_E_AUDIO_CODEC_ERROR;
    m_fifo = av_audio_fifo_alloc(m_codec->sample_fmt, m_codec->ch_layout.nb_channels, m_frameSamples * 2);
    m_frame->format = m_codec->sample_fmt;
    m_frame->nb_samples = m_frameSamples;
    if (!m_fifo || av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout) < 0 ||
        av_frame_get_buffer(m_frame, 0) < 0)
        return E_OUTOFMEMORY;
    m_inputBlockAlign = input.nBlockAlign;
    m_partial.reserve(m_inputBlockAlign);
    return S_OK;
}

HRESULT CWmAudioEncoder::Convert(const BYTE *data, int frames) {
    const int capacity = swr_get_out_samples(m_resampler, frames);
    if (capacity < 0) return NS_E_AUDIO_CODEC_ERROR;
    if (capacity == 0) return S_OK;
    if (m_converted->nb_samples < capacity) {
        av_frame_unref(m_converted);
        m_converted->format = m_codec->sample_fmt;
        m_converted->nb_samples = capacity;
        if (av_channel_layout_copy(&m_converted->ch_layout, &m_codec->ch_layout) < 0 ||
            av_frame_get_buffer(m_converted, 0) < 0)
            return E_OUTOFMEMORY;
    }
    const uint8_t *in[] = {data};
    const int converted = swr_convert(m_resampler, m_converted->extended_data, capacity, data ? in : nullptr, frames);
    if (converted < 0) return NS_E_AUDIO_CODEC_ERROR;
    if (converted > 0 &&
        av_audio_fifo_write(m_fifo, reinterpret_cast<void **>(m_converted->extended_data), converted) < converted)
        return E_OUTOFMEMORY;
    return S_OK;
}

HRESULT CWmAudioEncoder::Write(const BYTE *data, DWORD bytes, const PacketHandler &emit) {
    HRESULT hr = S_OK;
    if (!m_partial.empty()) {
        const DWORD joined = std::min<DWORD>(bytes, DWORD(m_inputBlockAlign - m_partial.size()));
        m_partial.insert(m_partial.end(), data, data + joined);
        data += joined;
        bytes -= joined;
        if (m_partial.size() == m_inputBlockAlign) {
            hr = Convert(m_partial.data(), 1);
            m_partial.clear();
        }
    }
    const DWORD whole = bytes / m_inputBlockAlign;
    // swresample counts frames in an int: hand it very large samples in pieces.
    const DWORD kMaxFramesPerCall = 1u << 20;
    for (DWORD done = 0; SUCCEEDED(hr) && done < whole; done += kMaxFramesPerCall) {
        const DWORD frames = std::min(kMaxFramesPerCall, whole - done);
        hr = Convert(data + size_t(done) * m_inputBlockAlign, int(frames));
    }
    if (FAILED(hr)) return hr;
    const size_t used = size_t(whole) * m_inputBlockAlign;
    m_partial.insert(m_partial.end(), data + used, data + bytes);
    return EncodeFrames(false, emit);
}

HRESULT CWmAudioEncoder::EncodeFrames(bool final, const PacketHandler &emit) {
    const bool takesShortFrames =
        m_codec->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    for (;;) {
        const int queued = av_audio_fifo_size(m_fifo);
        if (queued < m_frameSamples && !(final && queued > 0)) return S_OK;
        if (av_frame_make_writable(m_frame) < 0) return E_OUTOFMEMORY;
        const int taken = std::min(queued, m_frameSamples);
        if (av_audio_fifo_read(m_fifo, reinterpret_cast<void **>(m_frame->extended_data), taken) < taken)
            return NS_E_AUDIO_CODEC_ERROR;
        int samples = taken;
        if (taken < m_frameSamples && !takesShortFrames) {
            av_samples_set_silence(m_frame->extended_data, taken, m_frameSamples - taken,
                                   m_codec->ch_layout.nb_channels, m_codec->sample_fmt);
            samples = m_frameSamples;
        }
        m_frame->nb_samples = samples;
        m_frame->pts = m_nextPts;
        m_nextPts += samples;
        if (avcodec_send_frame(m_codec, m_frame) < 0) return NS_E_AUDIO_CODEC_ERROR;
        const HRESULT hr = Drain(emit);
        if (FAILED(hr)) return hr;
    }
}

HRESULT CWmAudioEncoder::Drain(const PacketHandler &emit) {
    for (;;) {
        const int got = avcodec_receive_packet(m_codec, m_packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return S_OK;
        if (got < 0) return NS_E_AUDIO_CODEC_ERROR;
        const HRESULT hr = emit(m_packet);
        av_packet_unref(m_packet);
        if (FAILED(hr)) return hr;
    }
}

HRESULT CWmAudioEncoder::Finish(const PacketHandler &emit) {
    HRESULT hr = Convert(nullptr, 0);
    if (SUCCEEDED(hr)) hr = EncodeFrames(true, emit);
    if (FAILED(hr)) return hr;
    if (avcodec_send_frame(m_codec, nullptr) < 0) return NS_E_AUDIO_CODEC_ERROR;
    return Drain(emit);
}

}  // namespace posix
