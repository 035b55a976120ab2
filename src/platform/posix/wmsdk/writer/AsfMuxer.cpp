#include "AsfMuxer.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

namespace posix {

namespace {

const int kIoBufferSize = 32768;

}  // namespace

CAsfMuxer::~CAsfMuxer() {
    avformat_free_context(m_format);
    if (m_io) av_freep(&m_io->buffer);
    avio_context_free(&m_io);
}

HRESULT CAsfMuxer::Open() {
    if (avformat_alloc_output_context2(&m_format, nullptr, "asf", nullptr) < 0 || !m_format) return E_FAIL;
    unsigned char *buffer = static_cast<unsigned char *>(av_malloc(kIoBufferSize));
    if (!buffer) return E_OUTOFMEMORY;
    m_io = avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, WriteBytes, Seek);
    if (!m_io) {
        av_free(buffer);
        return E_OUTOFMEMORY;
    }
    m_format->pb = m_io;
    // Keeps the muxer's own name, version and the clock out of the header.
    m_format->flags |= AVFMT_FLAG_BITEXACT;
    return S_OK;
}

HRESULT CAsfMuxer::AddStream(const AVCodecContext *codec) {
    AVStream *stream = avformat_new_stream(m_format, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, codec) < 0) return E_OUTOFMEMORY;
    stream->time_base = codec->time_base;
    return S_OK;
}

HRESULT CAsfMuxer::WriteHeader() {
    if (avformat_write_header(m_format, nullptr) < 0) return E_FAIL;
    avio_flush(m_io);
    if (m_io->error || m_format->packet_size <= 0) return E_FAIL;
    m_headerDone = true;
    m_finalHeader = m_header;
    m_packetSize = size_t(m_format->packet_size);
    return S_OK;
}

HRESULT CAsfMuxer::Write(AVPacket *packet, int index, const AVCodecContext *codec) {
    packet->stream_index = index;
    av_packet_rescale_ts(packet, codec->time_base, m_format->streams[index]->time_base);
    if (av_interleaved_write_frame(m_format, packet) < 0) return E_FAIL;
    avio_flush(m_io);
    return m_io->error ? E_FAIL : S_OK;
}

HRESULT CAsfMuxer::Finish() {
    if (av_write_trailer(m_format) < 0) return E_FAIL;
    avio_flush(m_io);
    m_finished = true;
    return m_io->error ? E_FAIL : S_OK;
}

HRESULT CAsfMuxer::TakeDataUnits(const DataUnitHandler &deliver) {
    size_t taken = 0;
    HRESULT result = S_OK;
    while (m_data.size() - taken >= m_packetSize || (m_finished && taken < m_data.size())) {
        const size_t size = std::min(m_packetSize, m_data.size() - taken);
        const HRESULT hr = deliver(m_data.data() + taken, DWORD(size));
        if (SUCCEEDED(result)) result = hr;
        taken += size;
    }
    m_data.erase(m_data.begin(), m_data.begin() + ptrdiff_t(taken));
    return result;
}

int CAsfMuxer::WriteBytes(void *opaque, uint8_t *data, int size) {
    return static_cast<CAsfMuxer *>(opaque)->Store(data, size);
}

int CAsfMuxer::Store(const uint8_t *data, int size) {
    const int64_t end = m_position + size;
    const int64_t headerSize = int64_t(m_header.size());
    if (!m_headerDone) {
        // The muxer seeks back within its header to fill in sizes while it writes it.
        if (size_t(end) > m_header.size()) m_header.resize(size_t(end));
        std::memcpy(m_header.data() + m_position, data, size_t(size));
    } else if (end <= headerSize) {
        // The header rewritten with the final values once writing ends.
        std::memcpy(m_finalHeader.data() + m_position, data, size_t(size));
    } else if (m_position == m_end) {
        m_data.insert(m_data.end(), data, data + size);
    } else {
        return AVERROR(EIO);
    }
    m_position = end;
    if (end > m_end) m_end = end;
    return size;
}

int64_t CAsfMuxer::Seek(void *opaque, int64_t offset, int whence) {
    CAsfMuxer *self = static_cast<CAsfMuxer *>(opaque);
    if (whence & AVSEEK_SIZE) return self->m_end;
    int64_t target = offset;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: break;
    case SEEK_CUR: target += self->m_position; break;
    case SEEK_END: target += self->m_end; break;
    default: return AVERROR(EINVAL);
    }
    // Writes land only at the end of the data or inside the header, so no seek goes elsewhere.
    if (target < 0 || target > self->m_end) return AVERROR(EINVAL);
    self->m_position = target;
    return target;
}

}  // namespace posix
