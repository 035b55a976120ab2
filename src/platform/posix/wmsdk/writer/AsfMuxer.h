// FFmpeg's ASF muxer writing into memory instead of a file: the header as writing begins, each
// data packet as it fills, and the header it rewrites with the final sizes and duration at the end.
#pragma once

#include <functional>
#include <vector>

#include "windows_types.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace posix {

class CAsfMuxer {
public:
    using DataUnitHandler = std::function<HRESULT(const BYTE *data, DWORD size)>;

    CAsfMuxer() = default;
    ~CAsfMuxer();
    CAsfMuxer(const CAsfMuxer &) = delete;
    CAsfMuxer &operator=(const CAsfMuxer &) = delete;

    HRESULT Open();
    // Streams are numbered in the order they are added.
    HRESULT AddStream(const AVCodecContext *codec);
    HRESULT WriteHeader();
    const std::vector<BYTE> &Header() const { return m_header; }
    // A packet of the stream at index, stamped in the codec's time base.
    HRESULT Write(AVPacket *packet, int index, const AVCodecContext *codec);
    HRESULT Finish();
    const std::vector<BYTE> &FinalHeader() const { return m_finalHeader; }

    // Hands every completed data packet to deliver, in order, once; after Finish, whatever bytes
    // follow the last packet go out as one more unit. Returns the first failure of deliver.
    HRESULT TakeDataUnits(const DataUnitHandler &deliver);

private:
    static int WriteBytes(void *opaque, uint8_t *data, int size);
    static int64_t Seek(void *opaque, int64_t offset, int whence);
    int Store(const uint8_t *data, int size);

    AVFormatContext *m_format = nullptr;
    AVIOContext *m_io = nullptr;
    bool m_headerDone = false;
    bool m_finished = false;
    int64_t m_position = 0;
    int64_t m_end = 0;
    size_t m_packetSize = 0;
    std::vector<BYTE> m_header;
    std::vector<BYTE> m_finalHeader;
    // Data bytes not yet handed out; they start at m_end - m_data.size().
    std::vector<BYTE> m_data;
};

}  // namespace posix
