// The player's wave output: device opening and priming, PCM into recycled wave buffers, the render
// thread that takes finished buffers back and detects the end of the output, reset and volume.
#include <cstring>

#include "playback/Player.h"

namespace {

const DWORD kDrainTimeoutMs = 5000;
const int kResetAttempts = 5;
const DWORD kRenderThreadExitMs = 5000;
// What the host hears when the device refuses the playback's PCM: the command-failure event.
const DWORD kEventDeviceFailed = 6;

// Bytes of a wave buffer's block: the header, the PCM, then the output generation it was written in.
LONG BlockSize(DWORD bytes) { return static_cast<LONG>(sizeof(WAVEHDR) + bytes + sizeof(DWORD)); }

// The generation follows the PCM at any alignment, so it is copied in and out byte-wise.
BYTE *GenerationOf(WAVEHDR *header) { return reinterpret_cast<BYTE *>(header) + sizeof(WAVEHDR) + header->dwBufferLength; }

DWORD ReadGeneration(WAVEHDR *header) {
    DWORD generation;
    std::memcpy(&generation, GenerationOf(header), sizeof generation);
    return generation;
}

MMRESULT LastErrorCode() {
    const DWORD error = GetLastError();
    return static_cast<LONG>(error) > 0 ? (0x80070000u | (error & 0xFFFFu)) : error;
}

}  // namespace

HRESULT CPlayer::StartOutput(QWORD start, QWORD duration) {
    if (!m_pReader) return E_UNEXPECTED;
    if (m_hWaveOut) {
        // Buffers the reset returns belong to the previous start and must not end this one.
        m_endOfStream = 0;
        const MMRESULT reset = ResetDevice(m_hWaveOut);
        // A device that went away is given up, and this start opens the wave mapper afresh.
        if (reset == MMSYSERR_NODRIVER) {
            if (CloseDevice() != MMSYSERR_NOERROR) return E_FAIL;
        } else if (reset != MMSYSERR_NOERROR) {
            WaitForDrain(kDrainTimeoutMs);
            return E_FAIL;
        } else {
            NewOutputGeneration();
        }
    }
    if (!m_hWaveOut) {
        if (!m_pFormat || waveOutOpen(&m_hWaveOut, WAVE_MAPPER, m_pFormat, reinterpret_cast<DWORD_PTR>(&WaveOutCallback),
                                      reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
            m_hWaveOut = nullptr;
            return E_FAIL;
        }
        ResetEvent(m_hEvent);
        unsigned threadId = 0;
        m_hRenderThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &RenderThread, this, 0, &threadId));
        if (!m_hRenderThread) {
            waveOutClose(m_hWaveOut);
            m_hWaveOut = nullptr;
            return E_FAIL;
        }
        m_renderThreadId = threadId;
        NewOutputGeneration();
        PumpWait(m_hEvent, 1000);
    }
    ++m_playGeneration;
    // Blocks still queued for the host belong to the previous start (a seek while playing).
    StopPacing();
    m_endReported = kEndOpen;
    m_endOfStream = 0;

    if (m_pFormat) {
        const DWORD primeBytes = m_pFormat->nAvgBytesPerSec / 10;
        for (int i = 0; i < 2; ++i) {
            WAVEHDR *header = NewWaveBuffer(nullptr, primeBytes);
            if (!header) continue;
            if (waveOutPrepareHeader(m_hWaveOut, header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR &&
                waveOutWrite(m_hWaveOut, header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) {
                if (CountBuffer(ReadGeneration(header), 1) >= 0) m_deviceQueuedBytes += static_cast<LONG>(primeBytes);
            } else {
                FreeWaveBuffer(header);
            }
        }
    }
    SetState(PS_STARTING);
    return StartReader(start, duration);
}

LONG CPlayer::WritePcmCallback(const BYTE *data, LONG bytes, void *player) {
    if (!player) return -1;
    static_cast<CPlayer *>(player)->WritePcm(data, static_cast<DWORD>(bytes));
    return 0;
}

MMRESULT CPlayer::WritePcm(const BYTE *data, DWORD bytes) {
    if (!m_hWaveOut) return MMSYSERR_NOERROR;
    WAVEHDR *header = NewWaveBuffer(data, bytes);
    if (!header) return LastErrorCode();
    // Read before the write: once written, the render thread may free the buffer at any time.
    const DWORD generation = ReadGeneration(header);
    MMRESULT result = waveOutPrepareHeader(m_hWaveOut, header, sizeof(WAVEHDR));
    if (result == MMSYSERR_NOERROR) result = waveOutWrite(m_hWaveOut, header, sizeof(WAVEHDR));
    if (result == MMSYSERR_NOERROR) {
        if (CountBuffer(generation, 1) >= 0) m_deviceQueuedBytes += static_cast<LONG>(bytes);
        return MMSYSERR_NOERROR;
    }
    FreeWaveBuffer(header);
    ReportDeviceFailure();
    // A removed device has handed every buffer back, and the render thread waits for the lock held
    // here to free them: there is nothing to drain.
    if (result == MMSYSERR_NODRIVER) {
        if (m_pReader) m_pReader->Stop();
    } else {
        AbortOutput();
    }
    return result;
}

// What the host already has stays its own; blocks still queued for it are dropped with the end.
void CPlayer::ReportDeviceFailure() {
    EnterCriticalSection(&m_lock);
    if (m_teardown == TD_ACTIVE && m_endReported.exchange(kEndReported) != kEndReported) {
        StopPacing();
        Raise(kEventDeviceFailed, nullptr, 0);
    }
    LeaveCriticalSection(&m_lock);
}

// A removed device answers every call, even the volume query, with MMSYSERR_NODRIVER.
BOOL CPlayer::DeviceLost() {
    EnterCriticalSection(&m_lock);
    DWORD volume = 0;
    const BOOL lost = m_hWaveOut && waveOutGetVolume(m_hWaveOut, &volume) == MMSYSERR_NODRIVER;
    LeaveCriticalSection(&m_lock);
    return lost;
}

HRESULT CPlayer::AbortOutput() {
    if (!m_pReader) return E_UNEXPECTED;
    const HRESULT hr = m_pReader->Stop();
    if (FAILED(hr)) return hr;
    WaitForDrain(kDrainTimeoutMs);
    if (m_hWaveOut && ResetDevice(m_hWaveOut) != MMSYSERR_NOERROR) return E_FAIL;
    return S_OK;
}

MMRESULT CPlayer::OnBufferDone(WAVEHDR *header) {
    MMRESULT result = MMSYSERR_NOERROR;
    EnterCriticalSection(&m_lock);
    if (m_teardown == TD_ACTIVE && header) result = waveOutUnprepareHeader(m_hWaveOut, header, sizeof(WAVEHDR));
    LeaveCriticalSection(&m_lock);
    if (header) FreeWaveBuffer(header);
    return result;
}

MMRESULT CPlayer::ResetDevice(HWAVEOUT device) {
    if (!device) return MMSYSERR_NOERROR;
    MMRESULT result = MMSYSERR_NOERROR;
    for (int attempt = 0; attempt < kResetAttempts; ++attempt) {
        result = waveOutPause(device);
        if (result == MMSYSERR_NOERROR) {
            result = waveOutReset(device);
            if (result == MMSYSERR_NOERROR) return result;
        }
        // A removed device never comes back.
        if (result == MMSYSERR_NODRIVER) return result;
        Sleep(300);
    }
    waveOutPause(device);
    waveOutReset(device);
    return result;
}

void CPlayer::WaitForDrain(DWORD timeoutMs) {
    for (DWORD elapsed = 0; elapsed < timeoutMs; elapsed += 10) {
        if (PendingBuffers() == 0) return;
        Sleep(10);
    }
}

MMRESULT CPlayer::CloseDevice() {
    if (!m_hWaveOut) return MMSYSERR_NOERROR;
    const MMRESULT result = waveOutClose(m_hWaveOut);
    if (result != MMSYSERR_NOERROR) return result;
    m_hWaveOut = nullptr;
    // The close message ends the render thread; it is joined so the player never goes away under it.
    if (m_hRenderThread) {
        WaitForSingleObject(m_hRenderThread, kRenderThreadExitMs);
        CloseHandle(m_hRenderThread);
        m_hRenderThread = nullptr;
    }
    m_renderThreadId = 0;
    return result;
}

WAVEHDR *CPlayer::NewWaveBuffer(const BYTE *data, DWORD bytes) {
    if (bytes < 1) return nullptr;
    PoolBuffer *buffer = m_wavePool.Acquire(BlockSize(bytes));
    if (!buffer) return nullptr;
    WAVEHDR *header = reinterpret_cast<WAVEHDR *>(buffer->data);
    std::memset(header, 0, sizeof(WAVEHDR));
    header->lpData = reinterpret_cast<LPSTR>(buffer->data + sizeof(WAVEHDR));
    header->dwBufferLength = bytes;
    header->dwBytesRecorded = bytes;
    header->dwUser = reinterpret_cast<DWORD_PTR>(buffer);
    if (data)
        std::memcpy(header->lpData, data, bytes);
    else
        std::memset(header->lpData, 0, bytes);
    const DWORD generation = OutputGeneration();
    std::memcpy(GenerationOf(header), &generation, sizeof generation);
    return header;
}

LONG CPlayer::CountBuffer(DWORD generation, LONG delta) {
    ULONGLONG current = m_pending.load();
    for (;;) {
        if (static_cast<DWORD>(current >> 32) != generation) return -1;
        const LONG count = static_cast<LONG>(static_cast<DWORD>(current)) + delta;
        const ULONGLONG next = (static_cast<ULONGLONG>(generation) << 32) | static_cast<DWORD>(count);
        if (m_pending.compare_exchange_weak(current, next)) return count;
    }
}

void CPlayer::NewOutputGeneration() {
    ULONGLONG current = m_pending.load();
    while (!m_pending.compare_exchange_weak(current, ((current >> 32) + 1) << 32)) {
    }
    m_deviceQueuedBytes = 0;
}

void CPlayer::FreeWaveBuffer(WAVEHDR *header) { m_wavePool.Release(reinterpret_cast<PoolBuffer *>(header->dwUser)); }

HRESULT CPlayer::SetVolume(DWORD volume) {
    if (!m_hWaveOut) return S_OK;
    LONG level = 0;
    if (volume == 100)
        level = 0xFFFF;
    else if (volume != 0)
        level = static_cast<LONG>(volume * 65535u) / 100;
    const DWORD channel = static_cast<DWORD>(level) & 0xFFFFu;
    return waveOutSetVolume(m_hWaveOut, (channel << 16) | channel) == MMSYSERR_NOERROR ? S_OK : E_FAIL;
}

void CALLBACK CPlayer::WaveOutCallback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) {
    CPlayer *player = reinterpret_cast<CPlayer *>(instance);
    if (!player) return;
    PostThreadMessageA(player->m_renderThreadId.load(), message, static_cast<WPARAM>(param1),
                       static_cast<LPARAM>(param2));
}

unsigned __stdcall CPlayer::RenderThread(void *player) {
    if (player) static_cast<CPlayer *>(player)->RenderLoop();
    return 0;
}

void CPlayer::RenderLoop() {
    MSG message;
    PeekMessageA(&message, nullptr, 0x400, 0x400, PM_NOREMOVE);
    m_asyncResult = S_OK;
    SetEvent(m_hEvent);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == MM_WOM_CLOSE) {
            PostQuitMessage(0);
        } else if (message.message == MM_WOM_DONE) {
            WAVEHDR *header = reinterpret_cast<WAVEHDR *>(message.wParam);
            const LONG remaining = header ? CountBuffer(ReadGeneration(header), -1) : -1;
            if (remaining >= 0) m_deviceQueuedBytes -= static_cast<LONG>(header->dwBufferLength);
            OnBufferDone(header);
            if (remaining == 0 && m_endOfStream.load()) {
                SetState(PS_ENDED);
                SetEvent(m_hEvent);
            }
        }
    }
}
