// A player's wave output: the wave device, the render thread that takes finished buffers back, the
// recycled wave buffers and the count of those still pending in the current output generation.
#pragma once

#include <atomic>

#include "core/BufferPool.h"
#include "platform/platform.h"

// What the wave output asks of the player that owns it.
class IWaveOutputOwner {
public:
    // On the render thread as it begins taking buffers back.
    virtual void OnRenderStarted() = 0;
    // Under the owner's lock: FALSE while the playback is torn down, when finished buffers are only freed.
    virtual BOOL IsActive() = 0;
    // On the render thread: the last pending buffer of that output generation, the current one, has come back.
    virtual void OnOutputEmpty(DWORD generation) = 0;

protected:
    ~IWaveOutputOwner() = default;
};

class CWaveOutput {
public:
    // lock is the owner's: finished buffers are unprepared and the device's loss is probed under it.
    CWaveOutput(IWaveOutputOwner *owner, CRITICAL_SECTION *lock) : m_owner(owner), m_lock(lock) {}
    CWaveOutput(const CWaveOutput &) = delete;
    CWaveOutput &operator=(const CWaveOutput &) = delete;

    BOOL IsOpen() const { return m_hWaveOut != nullptr; }
    // Opens the wave mapper with a render thread of its own, in a new output generation.
    MMRESULT Open(const WAVEFORMATEX *format);
    // Pause then reset, retried a few times while the device refuses; no error without a device.
    MMRESULT Reset();
    // A new output generation with nothing pending: buffers a reset returns late are not counted.
    void NewGeneration();
    // Closes the device and joins the render thread; the device stays open when the close fails.
    MMRESULT Close();
    // Waits, within the limit, until no buffer of the current generation is pending.
    void WaitForDrain(DWORD timeoutMs);
    // Two buffers of silence of that size ahead of a start's first PCM.
    void Prime(DWORD bytes);
    // The device's refusal of the PCM; no error when it was written, when no device is open, or when
    // no buffer could be had for it (the PCM is dropped).
    MMRESULT Write(const BYTE *data, DWORD bytes);
    MMRESULT Pause() { return waveOutPause(m_hWaveOut); }
    MMRESULT Restart() { return waveOutRestart(m_hWaveOut); }
    // Volume 0..100 on both channels.
    HRESULT SetVolume(DWORD volume);
    // A removed device answers every call, even the volume query, with MMSYSERR_NODRIVER.
    BOOL IsLost();
    // Bytes written and not yet returned in the current generation.
    LONG QueuedBytes() const { return m_queuedBytes.load(); }
    LONG PendingBuffers() const { return static_cast<LONG>(static_cast<DWORD>(m_pending.load())); }
    // The output generation that buffers written now belong to.
    DWORD Generation() const { return static_cast<DWORD>(m_pending.load() >> 32); }

private:
    // Adds delta to the pending count when the buffer's generation is the current one; the new count,
    // or -1 when the buffer belongs to an earlier generation and is not counted.
    LONG CountBuffer(DWORD generation, LONG delta);
    WAVEHDR *NewBuffer(const BYTE *data, DWORD bytes);
    void FreeBuffer(WAVEHDR *header);
    MMRESULT OnBufferDone(WAVEHDR *header);
    static void CALLBACK WaveOutCallback(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                         DWORD_PTR param2);
    static unsigned __stdcall RenderThread(void *output);
    void RenderLoop();

    IWaveOutputOwner *m_owner;
    CRITICAL_SECTION *m_lock;
    HWAVEOUT m_hWaveOut = nullptr;
    HANDLE m_hRenderThread = nullptr;
    std::atomic<DWORD> m_renderThreadId{0};
    // Output generation (high half) and the wave buffers of that generation still pending (low half),
    // changed in one step so a late report of a buffer returned by a reset never counts against a newer start.
    std::atomic<ULONGLONG> m_pending{0};
    // With the host data's own count, what the player's look-ahead is measured against.
    std::atomic<LONG> m_queuedBytes{0};
    CBufferPool m_pool{TRUE};
};
