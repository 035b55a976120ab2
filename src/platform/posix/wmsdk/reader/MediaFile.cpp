#include "MediaFile.h"

#include <algorithm>
#include <climits>
#include <new>

#include "FfmpegLogging.h"
#include "nserror.h"

namespace posix {
namespace {

const int kIoBufferSize = 64 * 1024;
// Packets read at most to find where each codec's first PCM is stamped.
const int kPrimePackets = 256;
const int64_t kHnsPerSecond = 10000000;
// How far before a wanted time decoding starts for codecs that build on earlier packets.
const int64_t kPrerollHns = 2000000;

int ReadInput(void *opaque, uint8_t *data, int size) {
    const int got = static_cast<CMediaInput *>(opaque)->Read(data, size);
    return got > 0 ? got : got == 0 ? AVERROR_EOF : AVERROR(EIO);
}

int64_t SeekInput(void *opaque, int64_t offset, int whence) {
    CMediaInput *input = static_cast<CMediaInput *>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) {
        const int64_t size = input->Size();
        return size >= 0 ? size : AVERROR(ENOSYS);
    }
    const int64_t size = input->Size();
    if (whence == SEEK_END) {
        if (size < 0) return AVERROR(ENOSYS);
        offset += size;
    } else if (whence != SEEK_SET) {
        return AVERROR(EINVAL);
    }
    // Past the end a host's stream may wrap around (a memory image seeks by 32 bits); a file reads
    // nothing there, so the stream is left at its end.
    const int64_t target = size >= 0 ? std::min(offset, size) : offset;
    return offset >= 0 && input->Seek(target) ? offset : AVERROR(EIO);
}

// The reader reads only what the host named: containers that refer to other files get nothing.
int RefuseNestedOpen(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **) { return AVERROR(EPERM); }

HRESULT OpenFailure(int error) {
    if (error == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
    if (error == AVERROR(EIO)) return NS_E_FILE_READ;
    if (error == AVERROR_INVALIDDATA) return NS_E_UNRECOGNIZED_STREAM_TYPE;
    return NS_E_INVALID_DATA;
}

DWORD ClampToDword(int64_t value) { return DWORD(std::clamp<int64_t>(value, 0, UINT32_MAX)); }

WORD WaveFormatTag(const AVCodecParameters *codec) {
    if (codec->codec_tag && codec->codec_tag <= 0xFFFF) return WORD(codec->codec_tag);
    const AVCodecTag *const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    const unsigned tag = av_codec_get_tag(tables, codec->codec_id);
    return tag <= 0xFFFF ? WORD(tag) : 0;
}

// The stream as stored, but with the channels, rate and sample size of the reader's output, which
// is what callers that read the stream's format record take it to describe.
CMediaType StoredAudioType(const AVCodecParameters *codec, const CPcmDecoder *decoder) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WaveFormatTag(codec);
    format.nChannels = decoder ? decoder->Channels() : WORD(std::max(codec->ch_layout.nb_channels, 0));
    format.nSamplesPerSec = decoder ? decoder->Rate() : ClampToDword(codec->sample_rate);
    format.nAvgBytesPerSec = ClampToDword(codec->bit_rate / 8);
    format.nBlockAlign = WORD(std::clamp(codec->block_align, 0, 0xFFFF));
    format.wBitsPerSample = 16;
    const int extra = std::clamp(codec->extradata_size, 0, 0xFFFF - int(sizeof(WAVEFORMATEX)));
    return CMediaType::Audio(format, codec->extradata, WORD(extra));
}

}  // namespace

HRESULT CMediaFile::Open(std::unique_ptr<CMediaInput> input, const std::string &name,
                         std::unique_ptr<CMediaFile> &file) {
    SetUpFfmpegLogging();
    std::unique_ptr<CMediaFile> opened(new CMediaFile);
    const HRESULT hr = opened->Load(std::move(input), name);
    if (SUCCEEDED(hr)) file = std::move(opened);
    return hr;
}

CMediaFile::~CMediaFile() {
    DropBacklog();
    m_decoders.clear();
    av_packet_free(&m_packet);
    avformat_close_input(&m_format);
    if (m_io) av_freep(&m_io->buffer);
    avio_context_free(&m_io);
}

HRESULT CMediaFile::Load(std::unique_ptr<CMediaInput> input, const std::string &name) {
    m_input = std::move(input);
    const bool seekable = m_input->Seek(0);
    uint8_t *buffer = static_cast<uint8_t *>(av_malloc(kIoBufferSize));
    if (buffer)
        m_io = avio_alloc_context(buffer, kIoBufferSize, 0, m_input.get(), ReadInput, nullptr,
                                  seekable ? SeekInput : nullptr);
    m_packet = av_packet_alloc();
    m_format = avformat_alloc_context();
    if (!m_io || !m_packet || !m_format) {
        if (!m_io) av_free(buffer);
        return E_OUTOFMEMORY;
    }
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_format->io_open = RefuseNestedOpen;
    int result = avformat_open_input(&m_format, name.c_str(), nullptr, nullptr);
    if (result < 0) return OpenFailure(result);
    // Without full stream details the container may still decode, as the ffmpeg program finds.
    if (avformat_find_stream_info(m_format, nullptr) == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
    if (m_format->nb_streams == 0) return NS_E_INVALID_DATA;
    m_origin = m_format->start_time != AV_NOPTS_VALUE ? m_format->start_time : 0;
    // The probe takes a failed allocation for the end of the input and drops the packet it held:
    // decoding starts from the start again, so that nothing it read is lost.
    if (seekable && avformat_seek_file(m_format, -1, INT64_MIN, m_origin, m_origin, 0) < 0)
        av_seek_frame(m_format, -1, m_origin, AVSEEK_FLAG_BACKWARD);
    HRESULT hr = Describe();
    if (SUCCEEDED(hr)) hr = Prime();
    return hr;
}

// Codecs stamp their first PCM after a delay of their own; the medium's time 0 is that first PCM,
// as when the ffmpeg program decodes it. The packets read to learn this are decoded again later.
HRESULT CMediaFile::Prime() {
    std::vector<bool> known(m_decoders.size(), false);
    size_t left = m_decoders.size();
    for (int n = 0; n < kPrimePackets && left > 0; ++n) {
        AVPacket *packet = av_packet_alloc();
        const int read = packet ? av_read_frame(m_format, packet) : AVERROR(ENOMEM);
        if (read < 0) {
            av_packet_free(&packet);
            if (read == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
            break;
        }
        try {
            m_backlog.push_back(packet);
        } catch (const std::bad_alloc &) {
            av_packet_free(&packet);
            return E_OUTOFMEMORY;
        }
        const int index = packet->stream_index;
        if (index < 0 || size_t(index) >= m_decoderOfStream.size() || !m_decoderOfStream[size_t(index)]) continue;
        for (size_t d = 0; d < m_decoders.size(); ++d) {
            if (m_decoders[d].get() == m_decoderOfStream[size_t(index)] && !known[d] && m_decoders[d]->Prime(packet)) {
                known[d] = true;
                --left;
            }
        }
    }
    for (const auto &decoder : m_decoders) {
        if (FAILED(decoder->Failure())) return decoder->Failure();
        decoder->Reset(0);
        m_origin = std::min(m_origin, decoder->Origin());
    }
    return S_OK;
}

int CMediaFile::ReadPacket() {
    if (m_backlog.empty()) return av_read_frame(m_format, m_packet);
    av_packet_move_ref(m_packet, m_backlog.front());
    av_packet_free(&m_backlog.front());
    m_backlog.pop_front();
    return 0;
}

void CMediaFile::DropBacklog() {
    for (AVPacket *&packet : m_backlog) av_packet_free(&packet);
    m_backlog.clear();
}

HRESULT CMediaFile::Describe() {
    auto info = std::make_shared<MediaInfo>();
    std::vector<MediaOutputInfo> video;
    m_decoderOfStream.assign(m_format->nb_streams, nullptr);
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        AVStream *stream = m_format->streams[i];
        const AVCodecParameters *codec = stream->codecpar;
        const bool audio = codec->codec_type == AVMEDIA_TYPE_AUDIO;
        const bool moving =
            codec->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
        if ((!audio && !moving) || info->streams.size() >= 63) {
            stream->discard = AVDISCARD_ALL;
            continue;
        }
        const size_t index = info->streams.size();
        std::unique_ptr<CPcmDecoder> decoder;
        if (audio) {
            HRESULT failure;
            decoder = CPcmDecoder::Create(stream, m_origin, DWORD(info->outputs.size()), failure);
            if (FAILED(failure)) return failure;
        }
        info->streams.push_back({WORD(index + 1),
                                 audio ? StoredAudioType(codec, decoder.get()) : CMediaType::Video(codec->codec_tag),
                                 ClampToDword(codec->bit_rate)});
        if (decoder) {
            info->outputs.push_back({CMediaType::Pcm(decoder->Channels(), decoder->Rate()), decoder->MaxChunkBytes()});
            m_decoderOfStream[i] = decoder.get();
            m_decoders.push_back(std::move(decoder));
        } else {
            // Nothing here is decoded but audio: video is listed, and its packets skipped.
            stream->discard = AVDISCARD_ALL;
            if (moving) video.push_back({info->streams.back().type, 0});
        }
    }
    info->outputs.insert(info->outputs.end(), video.begin(), video.end());
    if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0) {
        // Times count from the first sample, so the length does too.
        const int64_t length = m_format->duration - std::max<int64_t>(m_origin, 0);
        info->hasDuration = length > 0;
        info->duration = info->hasDuration ? QWORD(av_rescale(length, kHnsPerSecond, AV_TIME_BASE)) : 0;
    }
    info->seekable = (m_io->seekable & AVIO_SEEKABLE_NORMAL) && info->hasDuration ? TRUE : FALSE;
    m_info = std::move(info);
    return S_OK;
}

QWORD CMediaFile::Position() const {
    QWORD position = QWORD(-1);
    for (const auto &decoder : m_decoders) position = std::min(position, decoder->Position());
    return m_decoders.empty() ? 0 : position;
}

void CMediaFile::Seek(QWORD time) {
    m_active = nullptr;
    m_draining = false;
    m_drainIndex = 0;
    m_readFailure = S_OK;
    m_io->error = 0;
    bool preroll = false;
    for (const auto &decoder : m_decoders) {
        decoder->Reset(time);
        preroll = preroll || decoder->NeedsPreroll();
    }
    // Nothing taken yet: the container already stands at the start.
    if (!m_consumed && time == 0) return;
    DropBacklog();
    const int64_t wanted = int64_t(std::min<QWORD>(time, QWORD(INT64_MAX) / AV_TIME_BASE));
    const int64_t from = preroll ? std::max<int64_t>(wanted - kPrerollHns, 0) : wanted;
    const int64_t timestamp = av_rescale(from, AV_TIME_BASE, kHnsPerSecond) + m_origin;
    // At or before the time; what a failed seek leaves is trimmed by the decoders from wherever it is.
    if (avformat_seek_file(m_format, -1, INT64_MIN, timestamp, timestamp, 0) < 0)
        av_seek_frame(m_format, -1, timestamp, AVSEEK_FLAG_BACKWARD);
    m_consumed = true;
}

CMediaFile::Result CMediaFile::Next(PcmChunk &chunk, HRESULT &failure) {
    for (;;) {
        // PCM lost for want of memory ends the medium with that failure rather than with a gap.
        for (const auto &decoder : m_decoders) {
            if (FAILED(decoder->Failure())) {
                failure = decoder->Failure();
                return kFailed;
            }
        }
        if (m_active && m_active->Pull(chunk)) return kChunk;
        m_active = nullptr;
        if (m_draining) {
            for (; m_drainIndex < m_decoders.size(); ++m_drainIndex) {
                if (m_decoders[m_drainIndex]->Pull(chunk)) return kChunk;
            }
            failure = m_readFailure;
            return FAILED(m_readFailure) ? kFailed : kEnd;
        }
        int result = ReadPacket();
        m_consumed = true;
        // A packet the container completed after a failed read holds bytes that were never read.
        if (result >= 0 && m_format->pb->error < 0) {
            av_packet_unref(m_packet);
            result = m_format->pb->error;
        }
        if (result < 0) {
            // The end of the input, however the container noticed it, is the end of the medium; a failed
            // read, which also sets the end flag, is not.
            if (m_format->pb->error < 0)
                m_readFailure = NS_E_FILE_READ;
            else if (result != AVERROR_EOF && !avio_feof(m_format->pb))
                m_readFailure = result == AVERROR(EIO)      ? NS_E_FILE_READ
                                : result == AVERROR(ENOMEM) ? E_OUTOFMEMORY
                                                            : NS_E_INVALID_DATA;
            // After a failed read the decoders' held frames are not flushed: their tail would be made up
            // for audio that never came, not what the whole file holds.
            const bool readFailed = m_format->pb->error < 0;
            if (!readFailed) {
                for (const auto &decoder : m_decoders) decoder->Send(nullptr);
            }
            m_draining = true;
            m_drainIndex = readFailed ? m_decoders.size() : 0;
            continue;
        }
        const int index = m_packet->stream_index;
        if (index >= 0 && size_t(index) < m_decoderOfStream.size() && m_decoderOfStream[size_t(index)]) {
            m_active = m_decoderOfStream[size_t(index)];
            m_active->Send(m_packet);
        }
        av_packet_unref(m_packet);
    }
}

}  // namespace posix
