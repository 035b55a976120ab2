// The wave output: device opening and priming, PCM into recycled wave buffers, the render thread
// that takes finished buffers back and tells the owner when the last one is back, reset and volume.
#include "playback/WaveOutput.h"

#include <cstring>

#include "core/LockScope.h"

namespace {

const int kResetAttempts = 5;
const DWORD kRenderThreadExitMs = 5000;

// Bytes of a wave buffer's block: the header, the PCM, then the output generation it was written in.
LONG BlockSize(DWORD bytes) { return static_cast<LONG>(sizeof(WAVEHDR) + bytes + sizeof(DWORD)); }

// The generation follows the PCM at any alignment, so it is copied in and out byte-wise.
BYTE *GenerationOf(WAVEHDR *header) {
    return reinterpret_cast<BYTE *>(header) + sizeof(WAVEHDR) + header->dwBufferLength;
}

DWORD ReadGeneration(WAVEHDR *header) {
    DWORD generation;
    std::memcpy(&generation, GenerationOf(header), sizeof generation);
    return generation;
}

}  // namespace

MMRESULT CWaveOutput::Open(const WAVEFORMATEX *format) {
    if (waveOutOpen(&m_hWaveOut, WAVE_MAPPER, format, reinterpret_cast<DWORD_PTR>(&WaveOutCallback),
                    reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        m_hWaveOut = nullptr;
        return MMSYSERR_ERROR;
    }
    unsigned threadId = 0;
    m_hRenderThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &RenderThread, this, 0, &threadId));
    if (!m_hRenderThread) {
        waveOutClose(m_hWaveOut);
        m_hWaveOut = nullptr;
        return MMSYSERR_ERROR;
    }
    m_renderThreadId = threadId;
    NewGeneration();
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveOutput::Reset() {
    if (!m_hWaveOut) return MMSYSERR_NOERROR;
    MMRESULT result = MMSYSERR_NOERROR;
    for (int attempt = 0; attempt < kResetAttempts; ++attempt) {
        result = waveOutPause(m_hWaveOut);
        if (result == MMSYSERR_NOERROR) {
            result = waveOutReset(m_hWaveOut);
            if (result == MMSYSERR_NOERROR) return result;
        }
        // A removed device never comes back.
        if (result == MMSYSERR_NODRIVER) return result;
        Sleep(300);
    }
    waveOutPause(m_hWaveOut);
    waveOutReset(m_hWaveOut);
    return result;
}

void CWaveOutput::NewGeneration() {
    ULONGLONG current = m_pending.load();
    while (!m_pending.compare_exchange_weak(current, ((current >> 32) + 1) << 32)) {
    }
    m_queuedBytes = 0;
}

MMRESULT CWaveOutput::Close() {
    if (!m_hWaveOut) return MMSYSERR_NOERROR;
    const MMRESULT result = waveOutClose(m_hWaveOut);
    if (result != MMSYSERR_NOERROR) return result;
    m_hWaveOut = nullptr;
    // The close message ends the render thread; it is joined so the owner never goes away under it.
    if (m_hRenderThread) {
        WaitForSingleObject(m_hRenderThread, kRenderThreadExitMs);
        CloseHandle(m_hRenderThread);
        m_hRenderThread = nullptr;
    }
    m_renderThreadId = 0;
    return result;
}

void CWaveOutput::WaitForDrain(DWORD timeoutMs) {
    for (DWORD elapsed = 0; elapsed < timeoutMs; elapsed += 10) {
        if (PendingBuffers() == 0) return;
        Sleep(10);
    }
}

void CWaveOutput::Prime(DWORD bytes) {
    for (int i = 0; i < 2; ++i) {
        WAVEHDR *header = NewBuffer(nullptr, bytes);
        if (!header) continue;
        if (waveOutPrepareHeader(m_hWaveOut, header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR &&
            waveOutWrite(m_hWaveOut, header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) {
            if (CountBuffer(ReadGeneration(header), 1) >= 0) m_queuedBytes += static_cast<LONG>(bytes);
        } else {
            FreeBuffer(header);
        }
    }
}

MMRESULT CWaveOutput::Write(const BYTE *data, DWORD bytes) {
    if (!m_hWaveOut) return MMSYSERR_NOERROR;
    WAVEHDR *header = NewBuffer(data, bytes);
    if (!header) return MMSYSERR_NOERROR;
    // Read before the write: once written, the render thread may free the buffer at any time.
    const DWORD generation = ReadGeneration(header);
    MMRESULT result = waveOutPrepareHeader(m_hWaveOut, header, sizeof(WAVEHDR));
    if (result == MMSYSERR_NOERROR) result = waveOutWrite(m_hWaveOut, header, sizeof(WAVEHDR));
    if (result == MMSYSERR_NOERROR) {
        if (CountBuffer(generation, 1) >= 0) m_queuedBytes += static_cast<LONG>(bytes);
        return MMSYSERR_NOERROR;
    }
    FreeBuffer(header);
    return result;
}

HRESULT CWaveOutput::SetVolume(DWORD volume) {
    if (!m_hWaveOut) return S_OK;
    LONG level = 0;
    if (volume == 100)
        level = 0xFFFF;
    else if (volume != 0)
        level = static_cast<LONG>(volume * 65535u) / 100;
    const DWORD channel = static_cast<DWORD>(level) & 0xFFFFu;
    return waveOutSetVolume(m_hWaveOut, (channel << 16) | channel) == MMSYSERR_NOERROR ? S_OK : E_FAIL;
}

BOOL CWaveOutput::IsLost() {
    CLockScope lock(m_lock);
    DWORD volume = 0;
    const BOOL lost = m_hWaveOut && waveOutGetVolume(m_hWaveOut, &volume) == MMSYSERR_NODRIVER;
    return lost;
}

LONG CWaveOutput::CountBuffer(DWORD generation, LONG delta) {
    ULONGLONG current = m_pending.load();
    for (;;) {
        if (static_cast<DWORD>(current >> 32) != generation) return -1;
        const LONG count = static_cast<LONG>(static_cast<DWORD>(current)) + delta;
        const ULONGLONG next = (static_cast<ULONGLONG>(generation) << 32) | static_cast<DWORD>(count);
        if (m_pending.compare_exchange_weak(current, next)) return count;
    }
}

WAVEHDR *CWaveOutput::NewBuffer(const BYTE *data, DWORD bytes) {
    if (bytes < 1) return nullptr;
    PoolBuffer *buffer = m_pool.Acquire(BlockSize(bytes));
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
    const DWORD generation = Generation();
    std::memcpy(GenerationOf(header), &generation, sizeof generation);
    return header;
}

void CWaveOutput::FreeBuffer(WAVEHDR *header) { m_pool.Release(reinterpret_cast<PoolBuffer *>(header->dwUser)); }

MMRESULT CWaveOutput::OnBufferDone(WAVEHDR *header) {
    MMRESULT result = MMSYSERR_NOERROR;
    {
        CLockScope lock(m_lock);
        if (m_owner->IsActive() && header) result = waveOutUnprepareHeader(m_hWaveOut, header, sizeof(WAVEHDR));
    }
    if (header) FreeBuffer(header);
    return result;
}

void CALLBACK CWaveOutput::WaveOutCallback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                           DWORD_PTR param2) {
    CWaveOutput *output = reinterpret_cast<CWaveOutput *>(instance);
    if (!output) return;
    PostThreadMessageA(output->m_renderThreadId.load(), message, static_cast<WPARAM>(param1),
                       static_cast<LPARAM>(param2));
}

unsigned __stdcall CWaveOutput::RenderThread(void *output) {
    if (output) static_cast<CWaveOutput *>(output)->RenderLoop();
    return 0;
}

void CWaveOutput::RenderLoop() {
    MSG message;
    PeekMessageA(&message, nullptr, 0x400, 0x400, PM_NOREMOVE);
    m_owner->OnRenderStarted();
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == MM_WOM_CLOSE) {
            PostQuitMessage(0);
        } else if (message.message == MM_WOM_DONE) {
            WAVEHDR *header = reinterpret_cast<WAVEHDR *>(message.wParam);
            const DWORD generation = header ? ReadGeneration(header) : 0;
            const LONG remaining = header ? CountBuffer(generation, -1) : -1;
            if (remaining >= 0) m_queuedBytes -= static_cast<LONG>(header->dwBufferLength);
            OnBufferDone(header);
            if (remaining == 0) m_owner->OnOutputEmpty(generation);
        }
    }
}
