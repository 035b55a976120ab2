// An open medium on FFmpeg: the container read through a CMediaInput, every decodable audio stream
// decoded to 16-bit PCM, in the order the container stores it.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "MediaInfo.h"
#include "MediaInput.h"
#include "PcmDecoder.h"

namespace posix {

class CMediaFile {
public:
    enum Result { kChunk, kEnd, kFailed };

    // name only helps FFmpeg guess the container; the bytes decide. Failures are Windows Media
    // result codes.
    static HRESULT Open(std::unique_ptr<CMediaInput> input, const std::string &name, std::unique_ptr<CMediaFile> &file);
    ~CMediaFile();

    const std::shared_ptr<const MediaInfo> &Info() const { return m_info; }
    // Time (100 ns) of the next PCM the outputs will give.
    QWORD Position() const;
    // Places every output at the time (100 ns); PCM before it is decoded but not given out.
    void Seek(QWORD time);
    // The next piece of PCM; kEnd at the end of the medium, kFailed (with the reason) when reading
    // stopped short of it. The decoders have then given out all they could.
    Result Next(PcmChunk &chunk, HRESULT &failure);

private:
    CMediaFile() = default;
    HRESULT Load(std::unique_ptr<CMediaInput> input, const std::string &name);
    HRESULT Describe();
    HRESULT Prime();
    int ReadPacket();
    void DropBacklog();

    std::unique_ptr<CMediaInput> m_input;
    AVIOContext *m_io = nullptr;
    AVFormatContext *m_format = nullptr;
    AVPacket *m_packet = nullptr;
    int64_t m_origin = 0;  // AV_TIME_BASE: the container's start, then the earliest time 0 of the outputs
    std::vector<std::unique_ptr<CPcmDecoder>> m_decoders;
    std::vector<CPcmDecoder *> m_decoderOfStream;
    std::shared_ptr<const MediaInfo> m_info;
    std::deque<AVPacket *> m_backlog;  // read while priming, decoded first

    CPcmDecoder *m_active = nullptr;
    bool m_consumed = false;  // packets were taken since open
    bool m_draining = false;
    size_t m_drainIndex = 0;
    HRESULT m_readFailure = S_OK;
};

}  // namespace posix
