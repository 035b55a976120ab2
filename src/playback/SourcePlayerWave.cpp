// Direct WAV mode: a PCM WAV source is parsed and streamed by the player itself, one second of PCM
// per read, through the same sample path as decoded media.
#include <cstdlib>
#include <new>

#include "core/LockScope.h"
#include "playback/RiffWaveParser.h"
#include "playback/SourcePlayer.h"

HRESULT CSourcePlayer::OpenWaveSource() {
    ResetEvent(m_hEvent);
    Stop();
    ForgetMedium();
    std::free(m_pFileName);
    m_pFileName = nullptr;
    m_waveFeeding = FALSE;

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

// Seeks and reads the first pieces on the service thread; the tick thread reads the rest as the
// host data and the device drain.
HRESULT CSourcePlayer::StreamWave(QWORD start, QWORD length) {
    if (!m_pSource) return E_UNEXPECTED;
    if (length == 0) length = m_duration;
    if (length == 0) return S_OK;
    // Reading starts on a whole frame, and the first sample's time is that frame's.
    const DWORD align = m_pFormat && m_pFormat->nBlockAlign > 0 ? m_pFormat->nBlockAlign : 1;
    const DWORD avg = m_pFormat ? m_pFormat->nAvgBytesPerSec : 0;
    const DWORD startBytes = MsToBytes(static_cast<DWORD>(start / 10000u)) / align * align;
    const DWORD endBytes = MsToBytes(static_cast<DWORD>((start + length) / 10000u));
    const DWORD chunk = MsToBytes(1000);

    HRESULT hr = S_OK;
    {
        CLockScope lock(&m_lock);
        m_waveFeeding = FALSE;
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(m_dataOffset) + startBytes;
        hr = m_pSource->Seek(position, STREAM_SEEK_SET, nullptr);
        if (SUCCEEDED(hr) && !m_pPiece) {
            m_pPiece = new (std::nothrow) CSampleBuffer(nullptr);
            if (!m_pPiece) hr = E_OUTOFMEMORY;
        }
        if (SUCCEEDED(hr)) hr = chunk == 0 ? E_FAIL : m_pPiece->SetCapacity(chunk);
    }
    if (FAILED(hr)) return S_OK;

    OnStatus(WMT_STARTED, S_OK, WMT_TYPE_DWORD, nullptr, StartContext(m_playGeneration.load()));
    {
        CLockScope lock(&m_lock);
        // Reads stop at the end of the data chunk, so bytes of a chunk after it never play as PCM.
        m_waveLeft = startBytes < m_dataSize ? m_dataSize - startBytes : 0;
        m_waveWindowLeft = endBytes > startBytes ? endBytes - startBytes : 0;
        m_waveTime = avg ? static_cast<QWORD>(startBytes) * 10000000u / avg : 0;
        m_waveGeneration = m_playGeneration.load();
        m_waveFeeding = TRUE;
    }
    FeedWave();
    return S_OK;
}

void CSourcePlayer::OnTick() {
    if (m_mode == PLAY_MODE_WAVE)
        FeedWave();
    else
        CPlayer::OnTick();
}

void CSourcePlayer::FeedWave() {
    for (;;) {
        DWORD generation = 0;
        BOOL drained = FALSE;
        {
            CLockScope lock(&m_lock);
            if (!m_waveFeeding || m_waveGeneration != m_playGeneration.load() || m_teardown != TD_ACTIVE ||
                !WantsMoreMedia())
                return;
            HRESULT read = S_OK;
            if (ReadWavePiece(&read)) continue;
            m_waveFeeding = FALSE;
            if (FAILED(read)) ReportMediaFailure();
            generation = m_waveGeneration;
            drained = MarkStreamEnd(TRUE, S_OK);
            // Under the lock, where this start is still the current one: a later start's state stays its own.
            if (drained) m_state = PS_ENDED;
        }
        if (drained) EnterEnded(generation);
        return;
    }
}

BOOL CSourcePlayer::ReadWavePiece(HRESULT *result) {
    if (m_waveWindowLeft == 0 || m_waveLeft == 0) return FALSE;
    const DWORD chunk = MsToBytes(1000);
    BYTE *data = nullptr;
    ULONG got = 0;
    m_pPiece->GetBuffer(&data);
    const HRESULT hr = m_pSource->Read(data, chunk < m_waveLeft ? chunk : m_waveLeft, &got);
    // A memory image's end-of-data result is only the end of a data chunk that claims too much.
    if (hr != HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)) *result = hr;
    if (FAILED(hr) || got == 0) return FALSE;
    m_pPiece->SetLength(got);
    const QWORD duration = static_cast<QWORD>(BytesToMs(got)) * 10000u;
    OnSample(m_outputNumber, m_waveTime, duration, 0, m_pPiece, StartContext(m_waveGeneration));
    m_waveLeft -= got;
    m_waveWindowLeft = got < m_waveWindowLeft ? m_waveWindowLeft - got : 0;
    m_waveTime += duration;
    return m_waveWindowLeft > 0 && m_waveLeft > 0;
}
