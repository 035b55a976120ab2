// One writing session of the writer, from BeginWriting to EndWriting: an encoder per input, the
// ASF muxer, and the sinks that receive the header, the data units and the end.
#pragma once

#include <memory>
#include <vector>

#include "AsfMuxer.h"
#include "SinkFanOut.h"
#include "WmAudioEncoder.h"

namespace posix {

// A profile stream and the PCM its input takes.
struct SessionStream {
    WORD number = 0;
    WAVEFORMATEX format = {};
    DWORD bitrate = 0;
    WAVEFORMATEX input = {};
};

class CWmWriterSession {
public:
    explicit CWmWriterSession(std::vector<ComPtr<IWMWriterSink>> sinks) : m_sinks(std::move(sinks)) {}

    // Opens the encoders and the muxer and sends the header to every sink.
    HRESULT Begin(const std::vector<SessionStream> &streams);
    HRESULT Write(DWORD input, const BYTE *data, DWORD bytes);
    // Encodes what is left, then the last data units, the final header and the end of writing.
    HRESULT End();

private:
    // Packets of the encoder at index go to the muxer's stream of the same index.
    CWmAudioEncoder::PacketHandler ToMuxer(size_t index);
    HRESULT Deliver();

    std::vector<std::unique_ptr<CWmAudioEncoder>> m_encoders;
    CAsfMuxer m_muxer;
    CSinkFanOut m_sinks;
};

}  // namespace posix
