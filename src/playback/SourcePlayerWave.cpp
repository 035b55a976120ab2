// Direct WAV mode: a PCM WAV source is parsed and streamed by the player itself, one second of PCM
// per read, through the same sample path as decoded media.
#include <cstdlib>
#include <new>

#include "files/SampleBuffer.h"
#include "playback/RiffWaveParser.h"
#include "playback/SourcePlayer.h"

HRESULT CSourcePlayer::OpenWaveSource() {
    ResetEvent(m_hEvent);
    Stop();
    ForgetMedium();
    std::free(m_pFileName);
    m_pFileName = nullptr;

    m_dataOffset = 0;
    WAVEFORMATEX format = {};
    LARGE_INTEGER origin = {};
    if (!m_pSource || FAILED(m_pSource->Seek(origin, STREAM_SEEK_SET, nullptr)) ||
        FAILED(ParseRiffWave(m_pSource, &format, &m_dataSize, &m_dataOffset)))
        return E_FAIL;
    // A data chunk that ends in part of a frame plays its whole frames only.
    if (format.nBlockAlign > 1) m_dataSize -= m_dataSize % format.nBlockAlign;
    SetFormat(&format);
    SetHostBlockSize();
    m_duration = static_cast<QWORD>(BytesToMs(m_dataSize)) * 10000u;
    m_outputNumber = 1;
    m_broadcast = TRUE;
    m_seekable = TRUE;
    m_teardown = TD_ACTIVE;
    return S_OK;
}

HRESULT CSourcePlayer::StreamWave(QWORD start, QWORD length) {
    if (!m_pSource) return E_UNEXPECTED;
    if (length == 0) length = m_duration;
    if (length == 0) return S_OK;
    // Reading starts on a whole frame, and the first sample's time is that frame's.
    const DWORD align = m_pFormat && m_pFormat->nBlockAlign > 0 ? m_pFormat->nBlockAlign : 1;
    const DWORD startBytes = MsToBytes(static_cast<DWORD>(start / 10000u)) / align * align;
    const DWORD endBytes = MsToBytes(static_cast<DWORD>((start + length) / 10000u));
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(m_dataOffset) + startBytes;
    if (FAILED(m_pSource->Seek(position, STREAM_SEEK_SET, nullptr))) return S_OK;
    const DWORD chunk = MsToBytes(1000);
    const DWORD limit = endBytes > startBytes ? endBytes - startBytes : 0;
    start = m_pFormat && m_pFormat->nAvgBytesPerSec ? static_cast<QWORD>(startBytes) * 10000000u / m_pFormat->nAvgBytesPerSec : 0;
    CSampleBuffer *buffer = new (std::nothrow) CSampleBuffer(nullptr);
    if (!buffer) return S_OK;
    if (chunk == 0 || FAILED(buffer->SetCapacity(chunk))) {
        buffer->Release();
        return S_OK;
    }
    OnStatus(WMT_STARTED, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);

    // Reads stop at the end of the data chunk, so bytes of a chunk after it never play as PCM.
    DWORD remaining = startBytes < m_dataSize ? m_dataSize - startBytes : 0;
    DWORD total = 0;
    QWORD time = start;
    while (total < limit && remaining > 0) {
        BYTE *data = nullptr;
        ULONG got = 0;
        buffer->GetBuffer(&data);
        if (FAILED(m_pSource->Read(data, chunk < remaining ? chunk : remaining, &got)) || got == 0) break;
        buffer->SetLength(got);
        const QWORD duration = static_cast<QWORD>(BytesToMs(got)) * 10000u;
        OnSample(m_outputNumber, time, duration, 0, buffer, nullptr);
        total += got;
        remaining -= got;
        time += duration;
    }
    buffer->Release();
    OnStatus(WMT_STOPPED, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    return S_OK;
}
