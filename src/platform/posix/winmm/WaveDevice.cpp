// The device thread reports buffers in the order the stream finished them; a reset or close waits
// for those reports, so every buffer has been handed back before the call returns.
#include "WaveDevice.h"

#include <chrono>
#include <system_error>

namespace posix {
namespace {

// How often an idle device thread asks whether SDL still has the device: SDL tells nobody when it
// drops a device, and may stop calling back, so queued buffers would never come back otherwise.
const std::chrono::milliseconds kLossPoll(50);

}  // namespace

CWaveDevice::CWaveDevice(const CWaveFormat &format, DWORD_PTR callback, DWORD_PTR instance)
    : m_format(format), m_callback(callback), m_instance(instance) {}

CWaveDevice::~CWaveDevice() {
    if (m_converter) SDL_FreeAudioStream(m_converter);
}

MMRESULT CWaveDevice::Open(uintptr_t handle, int index) {
    m_handle = handle;
    m_endpoint = CAudioEndpoint::Acquire(Capture(), index, m_format);
    if (!m_endpoint) return MMSYSERR_ALLOCATED;
    const CWaveFormat &from = Capture() ? m_endpoint->Format() : m_format;
    const CWaveFormat &to = Capture() ? m_format : m_endpoint->Format();
    if (!from.SameAs(to)) {
        m_converter = SDL_NewAudioStream(from.SdlFormat(), from.Channels(), from.Rate(), to.SdlFormat(), to.Channels(),
                                         to.Rate());
        if (!m_converter) {
            m_endpoint->Release();
            return MMSYSERR_NOMEM;
        }
    }
    try {
        // The thread keeps the device alive until it has reported everything.
        m_thread = std::thread([self = shared_from_this()] { self->Run(); });
        m_threadId = m_thread.get_id();
    } catch (const std::system_error &) {
        m_endpoint->Release();
        return MMSYSERR_NOMEM;
    }
    m_endpoint->Add(this);
    return MMSYSERR_NOERROR;
}

// Preparing a prepared header changes nothing; preparing clears what a past use left in the flags.
MMRESULT CWaveDevice::Prepare(LPWAVEHDR header) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (header->dwFlags & WHDR_PREPARED) return MMSYSERR_NOERROR;
    header->dwFlags = (header->dwFlags & ~(WHDR_DONE | WHDR_INQUEUE)) | WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveDevice::Unprepare(LPWAVEHDR header) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!(header->dwFlags & WHDR_PREPARED)) return MMSYSERR_NOERROR;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveDevice::Queue(LPWAVEHDR header) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_closing) return MMSYSERR_INVALHANDLE;
    if (!header->lpData || !(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    if (CheckLost()) return MMSYSERR_NODRIVER;
    if (Capture()) header->dwBytesRecorded = 0;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    m_queue.PushBack(header);
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveDevice::Close() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_closing) return MMSYSERR_INVALHANDLE;
        CheckLost();
        if (!m_queue.Empty()) return WAVERR_STILLPLAYING;
        m_closing = true;
    }
    m_endpoint->Remove(this);
    Leave();
    m_endpoint->Release();
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_ending = true;
    }
    m_changed.notify_all();
    if (m_threadId == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();
    Notify(CloseMessage(), 0);
    return MMSYSERR_NOERROR;
}

bool CWaveDevice::CheckLost() {
    if (m_lost || m_closing || !m_endpoint->Lost()) return m_lost;
    m_lost = true;
    Discard();
    while (!m_queue.Empty()) FinishFront();
    return true;
}

void CWaveDevice::FinishFront() {
    m_finished.PushBack(m_queue.PopFront());
    ++m_finishedCount;
    m_changed.notify_all();
}

void CWaveDevice::WaitReported(std::unique_lock<std::mutex> &hold) {
    if (m_threadId == std::this_thread::get_id()) return;
    const uint64_t target = m_finishedCount;
    m_changed.wait(hold, [&] { return m_reportedCount >= target; });
}

void CWaveDevice::Run() {
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        while (!m_changed.wait_for(hold, kLossPoll, [this] { return !m_finished.Empty() || m_ending; })) CheckLost();
        if (m_finished.Empty()) return;
        const LPWAVEHDR header = m_finished.PopFront();
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        hold.unlock();
        Notify(DoneMessage(), DWORD_PTR(header));
        hold.lock();
        ++m_reportedCount;
        m_changed.notify_all();
    }
}

MMRESULT CheckOpenArguments(const void *handleOut, LPCWAVEFORMATEX format, DWORD flags, CWaveFormat &parsed) {
    if (!format || (!handleOut && !(flags & WAVE_FORMAT_QUERY))) return MMSYSERR_INVALPARAM;
    const DWORD kind = flags & CALLBACK_TYPEMASK;
    if (kind != CALLBACK_NULL && kind != CALLBACK_FUNCTION) return MMSYSERR_NOTSUPPORTED;
    return parsed.Parse(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

}  // namespace posix
