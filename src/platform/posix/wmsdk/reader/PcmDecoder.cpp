#include "PcmDecoder.h"

#include <algorithm>
#include <new>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace posix {
namespace {

const int64_t kHnsPerSecond = 10000000;
const int kMaxRate = 768000;

bool OutOfMemory(int result) { return result == AVERROR(ENOMEM); }

// The stream's codec opened on a context of its parameters; null, with the error, when it will not open.
AVCodecContext *OpenCodec(const AVCodec *codec, const AVStream *stream, int &result) {
    AVCodecContext *context = avcodec_alloc_context3(codec);
    if (!context) {
        result = AVERROR(ENOMEM);
        return nullptr;
    }
    context->pkt_timebase = stream->time_base;
    result = avcodec_parameters_to_context(context, stream->codecpar);
    if (result >= 0) result = avcodec_open2(context, codec, nullptr);
    if (result < 0) avcodec_free_context(&context);
    return context;
}

}  // namespace

std::unique_ptr<CPcmDecoder> CPcmDecoder::Create(const AVStream *stream, int64_t origin, DWORD output,
                                                 HRESULT &failure) {
    failure = S_OK;
    const AVCodec *codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return nullptr;
    int result;
    AVCodecContext *context = OpenCodec(codec, stream, result);
    // Codecs report a failed allocation in their set-up as a failure of their own: a decoder that
    // opens at the second try was short of memory, one that does not has parameters it refuses.
    if (!context && !OutOfMemory(result)) context = OpenCodec(codec, stream, result);
    if (!context) {
        if (OutOfMemory(result)) failure = E_OUTOFMEMORY;
        return nullptr;
    }
    if (context->sample_rate <= 0 || context->sample_rate > kMaxRate || context->ch_layout.nb_channels <= 0 ||
        context->ch_layout.nb_channels > kMaxChannels) {
        avcodec_free_context(&context);
        return nullptr;
    }
    std::unique_ptr<CPcmDecoder> decoder(new (std::nothrow) CPcmDecoder(context, stream, origin, output));
    if (!decoder) avcodec_free_context(&context);
    if (!decoder || !decoder->m_frame) {
        failure = E_OUTOFMEMORY;
        return nullptr;
    }
    return decoder;
}

CPcmDecoder::CPcmDecoder(AVCodecContext *codec, const AVStream *stream, int64_t origin, DWORD output)
    : m_codec(codec),
      m_frame(av_frame_alloc()),
      m_rate(codec->sample_rate),
      m_frameBytes(DWORD(codec->ch_layout.nb_channels) * 2),
      m_output(output),
      m_timeBase(stream->time_base),
      m_origin(av_rescale_q(origin, kAvTimeBase, stream->time_base)),
      m_needsPreroll(av_get_exact_bits_per_sample(stream->codecpar->codec_id) == 0) {
    av_channel_layout_default(&m_outLayout, codec->ch_layout.nb_channels);
}

CPcmDecoder::~CPcmDecoder() {
    swr_free(&m_resampler);
    av_channel_layout_uninit(&m_inLayout);
    av_channel_layout_uninit(&m_outLayout);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_codec);
}

QWORD CPcmDecoder::Position() const {
    if (m_stagedOffset < m_stagedFrames) return TimeOf(m_stagedPosition + m_stagedOffset);
    return TimeOf(m_positionKnown ? std::max(m_position, m_skipUntil) : m_skipUntil);
}

bool CPcmDecoder::Prime(const AVPacket *packet) {
    Send(packet);
    int result;
    while ((result = avcodec_receive_frame(m_codec, m_frame)) >= 0) {
        if (m_frame->nb_samples > 0 && m_frame->best_effort_timestamp != AV_NOPTS_VALUE) {
            m_origin = m_frame->best_effort_timestamp;
            return true;
        }
    }
    if (OutOfMemory(result)) m_failure = E_OUTOFMEMORY;
    return false;
}

void CPcmDecoder::Send(const AVPacket *packet) {
    // A rejected packet (damaged data) is dropped: the codec picks up again at the next one.
    if (OutOfMemory(avcodec_send_packet(m_codec, packet))) m_failure = E_OUTOFMEMORY;
}

bool CPcmDecoder::Pull(PcmChunk &chunk) {
    for (;;) {
        if (m_stagedOffset < m_stagedFrames) {
            const int frames = std::min(kMaxChunkFrames, m_stagedFrames - m_stagedOffset);
            const int64_t position = m_stagedPosition + m_stagedOffset;
            chunk.output = m_output;
            chunk.time = TimeOf(position);
            chunk.duration = TimeOf(position + frames) - chunk.time;
            chunk.data = m_staged + size_t(m_stagedOffset) * m_frameBytes;
            chunk.bytes = DWORD(frames) * m_frameBytes;
            chunk.whole = m_converted && chunk.data == m_converted->Data() && frames == m_stagedFrames
                              ? m_converted.Get()
                              : nullptr;
            m_stagedOffset += frames;
            return true;
        }
        if (m_drained) return false;
        const int result = avcodec_receive_frame(m_codec, m_frame);
        if (result == AVERROR_EOF) {
            m_drained = true;
            if (!StageResamplerTail()) return false;
            continue;
        }
        if (result < 0) {
            if (OutOfMemory(result)) m_failure = E_OUTOFMEMORY;
            return false;
        }
        Stage(m_frame);
    }
}

void CPcmDecoder::Reset(QWORD target) {
    avcodec_flush_buffers(m_codec);
    swr_free(&m_resampler);
    m_inFormat = -1;
    m_positionKnown = false;
    m_skipUntil = av_rescale(int64_t(std::min<QWORD>(target, QWORD(INT64_MAX))), m_rate, kHnsPerSecond);
    m_converted.Reset();
    m_staged = nullptr;
    m_stagedFrames = m_stagedOffset = 0;
    m_drained = false;
    m_failure = S_OK;
}

QWORD CPcmDecoder::TimeOf(int64_t position) const {
    return position <= 0 ? 0 : QWORD(av_rescale(position, kHnsPerSecond, m_rate));
}

bool CPcmDecoder::ConfigureResampler(const AVFrame *frame) {
    AVChannelLayout layout = {};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
    else if (av_channel_layout_copy(&layout, &frame->ch_layout) < 0) {
        m_failure = E_OUTOFMEMORY;  // copying a layout fails only for want of memory
        return false;
    }
    if (m_resampler && frame->format == m_inFormat && frame->sample_rate == m_inRate &&
        av_channel_layout_compare(&layout, &m_inLayout) == 0) {
        av_channel_layout_uninit(&layout);
        return true;
    }
    swr_free(&m_resampler);
    av_channel_layout_uninit(&m_inLayout);
    m_inLayout = layout;
    m_inFormat = frame->format;
    m_inRate = frame->sample_rate;
    int result = swr_alloc_set_opts2(&m_resampler, &m_outLayout, AV_SAMPLE_FMT_S16, m_rate, &m_inLayout,
                                     AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
    // With a channel map (one that changes nothing) the resampler never takes its shortcut for a
    // plain format change, whose set-up does not report a failed allocation and then divides by zero.
    if (result >= 0 && m_inLayout.nb_channels > kMaxChannels) result = AVERROR(EINVAL);
    if (result >= 0) {
        for (int i = 0; i < m_inLayout.nb_channels; ++i) m_channelMap[i] = i;
        result = swr_set_channel_mapping(m_resampler, m_channelMap);
    }
    if (result >= 0) result = swr_init(m_resampler);
    if (result < 0) {
        if (OutOfMemory(result)) m_failure = E_OUTOFMEMORY;
        swr_free(&m_resampler);
        m_inFormat = -1;
        return false;
    }
    return true;
}

void CPcmDecoder::Stage(const AVFrame *frame) {
    if (frame->nb_samples <= 0 || frame->ch_layout.nb_channels <= 0 || frame->sample_rate <= 0) return;
    if (!m_positionKnown) {
        const int64_t pts = frame->best_effort_timestamp;
        m_position =
            pts == AV_NOPTS_VALUE ? m_skipUntil : av_rescale_q(pts - m_origin, m_timeBase, AVRational{1, m_rate});
        m_positionKnown = true;
    }
    // Decoders that already give interleaved 16-bit PCM in the output's shape need no conversion.
    if (!m_resampler && frame->format == AV_SAMPLE_FMT_S16 && frame->sample_rate == m_rate &&
        frame->ch_layout.nb_channels == m_outLayout.nb_channels) {
        m_converted.Reset();
        StageConverted(frame->extended_data[0], frame->nb_samples);
        return;
    }
    if (ConfigureResampler(frame)) Convert(const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
}

bool CPcmDecoder::StageResamplerTail() { return m_resampler && Convert(nullptr, 0); }

bool CPcmDecoder::Convert(const uint8_t **input, int inputFrames) {
    const int capacity = swr_get_out_samples(m_resampler, inputFrames);
    if (capacity <= 0) return false;
    if (!TakeBuffer(DWORD(capacity) * m_frameBytes)) {
        m_failure = E_OUTOFMEMORY;
        return false;
    }
    uint8_t *out = m_converted->Data();
    const int frames = swr_convert(m_resampler, &out, capacity, input, inputFrames);
    if (frames <= 0) {
        if (OutOfMemory(frames)) m_failure = E_OUTOFMEMORY;
        return false;
    }
    StageConverted(out, frames);
    return true;
}

bool CPcmDecoder::TakeBuffer(DWORD bytes) {
    m_converted.Reset();
    ComPtr<CNssBuffer> *slot = nullptr;
    for (ComPtr<CNssBuffer> &spare : m_spares) {
        if (spare && spare->Shared()) continue;
        if (spare && spare->Capacity() >= bytes) {
            m_converted = ComPtr<CNssBuffer>::Share(spare.Get());
            return true;
        }
        if (!slot) slot = &spare;
    }
    // A host still holding every spare gets a buffer the decoder does not keep.
    m_converted = ComPtr<CNssBuffer>::Adopt(CNssBuffer::Create(bytes));
    if (!m_converted) return false;
    if (slot) *slot = ComPtr<CNssBuffer>::Share(m_converted.Get());
    return true;
}

void CPcmDecoder::StageConverted(const BYTE *data, int frames) {
    int64_t position = m_position;
    m_position += frames;
    if (position < m_skipUntil) {
        const int drop = int(std::min<int64_t>(frames, m_skipUntil - position));
        data += size_t(drop) * m_frameBytes;
        frames -= drop;
        position += drop;
    }
    m_staged = data;
    m_stagedFrames = frames;
    m_stagedOffset = 0;
    m_stagedPosition = position;
}

}  // namespace posix
