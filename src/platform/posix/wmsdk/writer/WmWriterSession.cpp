#include "WmWriterSession.h"

#include <string>

#include "AsfHeader.h"
#include "kernel32.h"

namespace posix {

namespace {

const char *CodecName(StreamCodec codec) {
    switch (codec) {
    case StreamCodec::Wmav1: return "wmav1";
    case StreamCodec::Wmav2: return "wmav2";
    case StreamCodec::Pcm: break;
    }
    return "PCM";
}

}  // namespace

HRESULT CWmWriterSession::Begin(const std::vector<SessionStream> &streams) {
    HRESULT hr = m_muxer.Open();
    for (const SessionStream &stream : streams) {
        if (FAILED(hr)) return hr;
        EncoderSettings settings;
        hr = ChooseEncoderSettings(stream.format, stream.bitrate, settings);
        if (FAILED(hr)) return hr;
        m_encoders.push_back(std::make_unique<CWmAudioEncoder>());
        hr = m_encoders.back()->Open(settings, stream.input);
        if (!settings.moved.empty())
            OutputDebugStringA(("Windows Media writer: stream " + std::to_string(stream.number) + ": " +
                                settings.moved + " (nearest values the " + CodecName(settings.codec) +
                                " encoder takes)")
                                   .c_str());
        if (SUCCEEDED(hr)) hr = m_muxer.AddStream(m_encoders.back()->Codec());
    }
    if (SUCCEEDED(hr)) hr = m_muxer.WriteHeader();
    if (FAILED(hr)) return hr;
    std::vector<BYTE> header = m_muxer.Header();
    // Until the final header replaces it, the stream's sizes and duration are unknown.
    MarkAsfHeaderAsBroadcast(header);
    return m_sinks.Header(header);
}

HRESULT CWmWriterSession::Deliver() {
    return m_muxer.TakeDataUnits([this](const BYTE *data, DWORD size) { return m_sinks.DataUnit(data, size); });
}

CWmAudioEncoder::PacketHandler CWmWriterSession::ToMuxer(size_t index) {
    const CWmAudioEncoder *encoder = m_encoders[index].get();
    return [this, encoder, index](AVPacket *packet) { return m_muxer.Write(packet, int(index), encoder->Codec()); };
}

HRESULT CWmWriterSession::Write(DWORD input, const BYTE *data, DWORD bytes) {
    const HRESULT hr = m_encoders[input]->Write(data, bytes, ToMuxer(input));
    const HRESULT delivered = Deliver();
    return FAILED(hr) ? hr : delivered;
}

HRESULT CWmWriterSession::End() {
    HRESULT hr = S_OK;
    for (size_t i = 0; i < m_encoders.size() && SUCCEEDED(hr); ++i) hr = m_encoders[i]->Finish(ToMuxer(i));
    if (SUCCEEDED(hr)) hr = m_muxer.Finish();
    HRESULT delivered = Deliver();
    if (SUCCEEDED(hr) && SUCCEEDED(delivered)) delivered = m_sinks.FinalHeader(m_muxer.FinalHeader());
    const HRESULT ended = m_sinks.End();
    if (FAILED(hr)) return hr;
    return FAILED(delivered) ? delivered : ended;
}

}  // namespace posix
