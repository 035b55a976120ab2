// What wave output and input devices share: the caller's buffers queued in order, a place on an
// audio endpoint (with a converter when the endpoint runs another format), and a device thread of
// its own that hands each finished buffer back through the caller's callback, in order and
// outside every lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "AudioEndpoint.h"
#include "platform/IntrusiveQueue.h"

namespace posix {

class CWaveDevice : public CEndpointClient, public std::enable_shared_from_this<CWaveDevice> {
public:
    CWaveDevice(const CWaveFormat &format, DWORD_PTR callback, DWORD_PTR instance);
    ~CWaveDevice() override;
    CWaveDevice(const CWaveDevice &) = delete;
    CWaveDevice &operator=(const CWaveDevice &) = delete;

    // Joins the endpoint of SDL device `index` (-1: the default) and starts the device thread;
    // the handle is what the callbacks receive.
    MMRESULT Open(uintptr_t handle, int index);
    MMRESULT Prepare(LPWAVEHDR header);
    MMRESULT Unprepare(LPWAVEHDR header);
    // A lost device refuses new buffers with MMSYSERR_NODRIVER.
    MMRESULT Queue(LPWAVEHDR header);
    // Refuses while buffers are queued; otherwise leaves the endpoint, lets the device thread
    // report what is finished, and reports the close message on the calling thread.
    MMRESULT Close();
    // Calls the caller's callback, if any.
    virtual void Notify(UINT message, DWORD_PTR param1) = 0;

protected:
    // Buffers in first-in first-out order, linked through their lpNext (the driver's on Windows).
    using CHeaderList = CIntrusiveQueue<WAVEHDR, &WAVEHDR::lpNext>;

    virtual bool Capture() const = 0;
    virtual UINT DoneMessage() const = 0;
    virtual UINT CloseMessage() const = 0;
    // Undoes what the device asked of its endpoint, once it no longer takes part in it.
    virtual void Leave() {}
    // Drops what the device holds of the buffers it hands back unfinished; m_lock held.
    virtual void Discard() {}

    // Finds out whether SDL gave the endpoint up; the first time, every queued buffer goes back, as
    // a removed device hands them back. m_lock held.
    bool CheckLost();
    // Hands the front queued buffer to the device thread; m_lock held.
    void FinishFront();
    // Waits until every buffer finished so far has been reported; m_lock held through `hold`.
    // On the device thread itself (a callback calling back) it cannot wait and returns at once.
    void WaitReported(std::unique_lock<std::mutex> &hold);

    const CWaveFormat m_format;
    const DWORD_PTR m_callback;
    const DWORD_PTR m_instance;
    uintptr_t m_handle = 0;
    std::shared_ptr<CAudioEndpoint> m_endpoint;
    // Between m_format and the endpoint's format; null when they are the same.
    SDL_AudioStream *m_converter = nullptr;
    std::mutex m_lock;
    CHeaderList m_queue;
    bool m_closing = false;
    bool m_lost = false;

private:
    void Run();

    std::condition_variable m_changed;
    CHeaderList m_finished;
    uint64_t m_finishedCount = 0;
    uint64_t m_reportedCount = 0;
    bool m_ending = false;
    std::thread m_thread;
    std::thread::id m_threadId;
};

inline bool ValidHeader(LPWAVEHDR header, UINT size) { return header && size >= sizeof(WAVEHDR); }

// Checks the record and the callback kind shared by waveOutOpen and waveInOpen.
MMRESULT CheckOpenArguments(const void *handleOut, LPCWAVEFORMATEX format, DWORD flags, CWaveFormat &parsed);

}  // namespace posix
