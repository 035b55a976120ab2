// The player's side of its wave output: each start's device reset or opening and priming, the PCM
// it writes, the device's refusal or loss, and the end of the output.
#include "playback/Player.h"

#include "core/LockScope.h"

namespace {

const DWORD kDrainTimeoutMs = 5000;
// What the host hears when the device refuses the playback's PCM: the command-failure event.
const DWORD kEventDeviceFailed = 6;

}  // namespace

HRESULT CPlayer::StartOutput(QWORD start, QWORD duration) {
    if (!m_pReader) return E_UNEXPECTED;
    if (m_output.IsOpen()) {
        // Buffers the reset returns belong to the previous start and must not end this one.
        m_endOfStream = 0;
        const MMRESULT reset = m_output.Reset();
        // A device that went away is given up, and this start opens the wave mapper afresh.
        if (reset == MMSYSERR_NODRIVER) {
            if (m_output.Close() != MMSYSERR_NOERROR) return E_FAIL;
        } else if (reset != MMSYSERR_NOERROR) {
            m_output.WaitForDrain(kDrainTimeoutMs);
            return E_FAIL;
        } else {
            m_output.NewGeneration();
        }
    }
    if (!m_output.IsOpen()) {
        ResetEvent(m_hEvent);
        if (!m_pFormat || m_output.Open(m_pFormat) != MMSYSERR_NOERROR) return E_FAIL;
        PumpWait(m_hEvent, 1000);
    }
    ++m_playGeneration;
    // Before the first buffer of this start is written: its drain is the only one that may end it.
    m_outputStart = (static_cast<ULONGLONG>(m_output.Generation()) << 32) | m_playGeneration.load();
    // Blocks still queued for the host belong to the previous start (a seek while playing).
    m_feed.StopPacing();
    m_endReported = kEndOpen;
    m_endOfStream = 0;

    if (m_pFormat) m_output.Prime(m_pFormat->nAvgBytesPerSec / 10);
    SetState(PS_STARTING);
    return StartReader(start, duration);
}

void CPlayer::OnRenderStarted() {
    m_asyncResult = S_OK;
    SetEvent(m_hEvent);
}

// The render thread may report the drain of the previous start's buffers after a newer start has
// begun and read its stream to the end: only the start that wrote in that output generation ends.
void CPlayer::OnOutputEmpty(DWORD generation) {
    const ULONGLONG start = m_outputStart.load();
    if (static_cast<DWORD>(start >> 32) != generation || !m_endOfStream.load()) return;
    EndStart(static_cast<DWORD>(start));
    SetEvent(m_hEvent);
}

LONG CPlayer::WritePcmCallback(const BYTE *data, LONG bytes, void *player) {
    if (!player) return -1;
    static_cast<CPlayer *>(player)->WritePcm(data, static_cast<DWORD>(bytes));
    return 0;
}

void CPlayer::WritePcm(const BYTE *data, DWORD bytes) {
    const MMRESULT result = m_output.Write(data, bytes);
    if (result == MMSYSERR_NOERROR) return;
    ReportDeviceFailure();
    // A removed device has handed every buffer back, and the render thread waits for the lock held
    // here to free them: there is nothing to drain.
    if (result == MMSYSERR_NODRIVER) {
        if (m_pReader) m_pReader->Stop();
    } else {
        AbortOutput();
    }
}

// What the host already has stays its own; blocks still queued for it are dropped with the end.
void CPlayer::ReportDeviceFailure() {
    CLockScope lock(&m_lock);
    if (m_teardown == TD_ACTIVE && m_endReported.exchange(kEndReported) != kEndReported) {
        m_feed.StopPacing();
        Raise(kEventDeviceFailed, nullptr, 0);
    }
}

HRESULT CPlayer::AbortOutput() {
    if (!m_pReader) return E_UNEXPECTED;
    const HRESULT hr = m_pReader->Stop();
    if (FAILED(hr)) return hr;
    m_output.WaitForDrain(kDrainTimeoutMs);
    if (m_output.Reset() != MMSYSERR_NOERROR) return E_FAIL;
    return S_OK;
}

HRESULT CPlayer::SetVolume(DWORD volume) { return m_output.SetVolume(volume); }
