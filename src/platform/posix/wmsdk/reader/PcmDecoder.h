// One audio stream decoded to interleaved 16-bit PCM at the stream's rate and channel count, placed
// on the medium's timeline and cut into pieces of bounded size.
#pragma once

#include <cstdint>
#include <memory>

#include "ComPtr.h"
#include "NssBuffer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace posix {

// FFmpeg's AV_TIME_BASE_Q as a constant: its macro is a compound literal, which C++ does not have.
constexpr AVRational kAvTimeBase = {1, AV_TIME_BASE};

// A piece of decoded PCM; its bytes stay valid until the decoder is asked for more.
struct PcmChunk {
    DWORD output;
    QWORD time;      // 100 ns from the start of the medium
    QWORD duration;  // 100 ns
    const BYTE *data;
    DWORD bytes;
    CNssBuffer *whole;  // the buffer the piece fills when it fills one alone, to hand over as it is
};

class CPcmDecoder {
public:
    static constexpr int kMaxChunkFrames = 4096;
    // The 18-byte format record cannot describe more, and no audio stream of sense has more.
    static constexpr int kMaxChannels = 64;

    // Null when no decoder here handles the stream, or, with failure E_OUTOFMEMORY, when memory ran
    // out. origin is the medium's start in AV_TIME_BASE.
    static std::unique_ptr<CPcmDecoder> Create(const AVStream *stream, int64_t origin, DWORD output, HRESULT &failure);
    // Decodes a packet of the medium's start only to learn where the codec's first PCM is stamped,
    // which becomes time 0; true once known. Reset must follow before real decoding.
    bool Prime(const AVPacket *packet);
    // Where time 0 lies, in AV_TIME_BASE.
    int64_t Origin() const { return av_rescale_q(m_origin, m_timeBase, kAvTimeBase); }
    ~CPcmDecoder();

    WORD Channels() const { return WORD(m_outLayout.nb_channels); }
    DWORD Rate() const { return DWORD(m_rate); }
    DWORD MaxChunkBytes() const { return DWORD(kMaxChunkFrames) * m_frameBytes; }
    // Codecs whose output depends on earlier packets need some before the first wanted sample.
    bool NeedsPreroll() const { return m_needsPreroll; }
    // Time (100 ns) of the next PCM this decoder will give.
    QWORD Position() const;
    // E_OUTOFMEMORY once memory ran out while decoding: PCM has been lost since.
    HRESULT Failure() const { return m_failure; }

    // Hands a packet, or null at the end of the medium, to the codec; data it rejects is skipped.
    void Send(const AVPacket *packet);
    // The next piece of decoded PCM; false while the codec wants more input, or when it is drained.
    bool Pull(PcmChunk &chunk);
    // Forgets what was decoded; PCM before target (100 ns) will be dropped.
    void Reset(QWORD target);

private:
    CPcmDecoder(AVCodecContext *codec, const AVStream *stream, int64_t origin, DWORD output);
    bool ConfigureResampler(const AVFrame *frame);
    void Stage(const AVFrame *frame);
    bool StageResamplerTail();
    // Converts into a buffer of its own; null input drains the resampler.
    bool Convert(const uint8_t **input, int inputFrames);
    // Points m_converted at a buffer of at least bytes that nobody else holds; false when memory is short.
    bool TakeBuffer(DWORD bytes);
    void StageConverted(const BYTE *data, int frames);
    QWORD TimeOf(int64_t position) const;

    AVCodecContext *m_codec;
    AVFrame *m_frame;
    SwrContext *m_resampler = nullptr;
    AVChannelLayout m_inLayout = {};
    int m_inFormat = -1;
    int m_inRate = 0;
    AVChannelLayout m_outLayout = {};
    const int m_rate;
    const DWORD m_frameBytes;
    const DWORD m_output;
    const AVRational m_timeBase;
    int64_t m_origin;  // in m_timeBase
    const bool m_needsPreroll;

    static constexpr int kSpareBuffers = 4;

    ComPtr<CNssBuffer> m_converted;              // the last conversion's, one of m_spares unless they were all held
    ComPtr<CNssBuffer> m_spares[kSpareBuffers];  // reused once the host has let go of them
    bool m_positionKnown = false;
    int64_t m_position = 0;  // frames at m_rate: where the next decoded frame starts
    int64_t m_skipUntil = 0;
    const BYTE *m_staged = nullptr;
    int m_stagedFrames = 0;
    int m_stagedOffset = 0;
    int64_t m_stagedPosition = 0;
    bool m_drained = false;
    HRESULT m_failure = S_OK;
    int m_channelMap[kMaxChannels];  // the resampler's identity channel map, which it keeps a pointer to
};

}  // namespace posix
