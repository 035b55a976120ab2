// Wave output: the endpoint's thread pulls the queued buffers into the mix byte by byte, in order
// and without gaps between buffers; a paused device or an empty queue adds nothing.
#include <algorithm>
#include <cstring>
#include <vector>

#include "AudioSubsystem.h"
#include "WaveDevice.h"
#include "WaveExports.h"

namespace posix {
namespace {

class CWaveOutDevice final : public CWaveDevice {
public:
    using CWaveDevice::CWaveDevice;

    MMRESULT Pause() { return SetPaused(true); }
    MMRESULT Restart() { return SetPaused(false); }

    // Playback goes on unpaused with whatever is written next. A lost device has handed everything
    // back already, so its reset succeeds too.
    MMRESULT Reset() {
        std::unique_lock<std::mutex> hold(m_lock);
        if (m_closing) return MMSYSERR_INVALHANDLE;
        CheckLost();
        m_paused = false;
        m_offset = 0;
        if (m_converter) SDL_AudioStreamClear(m_converter);
        while (!m_queue.Empty()) FinishFront();
        WaitReported(hold);
        return MMSYSERR_NOERROR;
    }

    MMRESULT SetVolume(DWORD volume) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (CheckLost()) return MMSYSERR_NODRIVER;
        m_volume = volume;
        return MMSYSERR_NOERROR;
    }

    MMRESULT GetVolume(DWORD &volume) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (CheckLost()) return MMSYSERR_NODRIVER;
        volume = m_volume;
        return MMSYSERR_NOERROR;
    }

    void Notify(UINT message, DWORD_PTR param1) override {
        if (m_callback)
            reinterpret_cast<void(CALLBACK *)(HWAVEOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(m_callback)(
                reinterpret_cast<HWAVEOUT>(m_handle), message, m_instance, param1, 0);
    }

    bool Exchange(BYTE *block, size_t bytes) override {
        const CWaveFormat &device = m_endpoint->Format();
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_paused || m_lost) return false;
        size_t filled = 0;
        if (!m_converter) {
            filled = Pull(block, bytes);
        } else {
            Convert(bytes);
            const int got = SDL_AudioStreamGet(m_converter, block, int(bytes));
            filled = got > 0 ? size_t(got) : 0;
        }
        if (filled == 0) return false;
        std::memset(block + filled, device.Silence(), bytes - filled);
        if (m_volume != 0xFFFFFFFF) device.ApplyGain(block, bytes, m_volume);
        return true;
    }

protected:
    bool Capture() const override { return false; }
    UINT DoneMessage() const override { return WOM_DONE; }
    UINT CloseMessage() const override { return WOM_CLOSE; }

    void Discard() override {
        m_offset = 0;
        if (m_converter) SDL_AudioStreamClear(m_converter);
    }

private:
    MMRESULT SetPaused(bool paused) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_closing) return MMSYSERR_INVALHANDLE;
        if (CheckLost()) return MMSYSERR_NODRIVER;
        m_paused = paused;
        return MMSYSERR_NOERROR;
    }

    // Takes up to `wanted` bytes from the queued buffers, in order and without gaps between them,
    // finishing each buffer once the last of it is taken; m_lock held.
    size_t Pull(BYTE *to, size_t wanted) {
        size_t filled = 0;
        while (filled < wanted && !m_queue.Empty()) {
            const LPWAVEHDR header = m_queue.Front();
            const size_t take = std::min<size_t>(header->dwBufferLength - m_offset, wanted - filled);
            std::memcpy(to + filled, header->lpData + m_offset, take);
            filled += take;
            m_offset += take;
            if (m_offset == header->dwBufferLength) {
                m_offset = 0;
                FinishFront();
            }
        }
        return filled;
    }

    // Feeds the converter until it holds `bytes` for the endpoint, or the queue is dry; a little at
    // a time, so buffers are finished close to when they are played. m_lock held.
    void Convert(size_t bytes) {
        const CWaveFormat &device = m_endpoint->Format();
        for (size_t available;
             (available = size_t(SDL_AudioStreamAvailable(m_converter))) < bytes && !m_queue.Empty();) {
            const uint64_t missing = (bytes - available) / device.BlockAlign() + 1;
            const size_t frames = size_t(missing * uint64_t(m_format.Rate()) / uint64_t(device.Rate())) + 1;
            m_staging.resize(frames * m_format.BlockAlign());
            SDL_AudioStreamPut(m_converter, m_staging.data(), int(Pull(m_staging.data(), m_staging.size())));
        }
        // The resampler keeps the last frames back until told that nothing follows.
        if (m_queue.Empty()) SDL_AudioStreamFlush(m_converter);
    }

    bool m_paused = false;
    // Bytes of the front buffer already taken.
    size_t m_offset = 0;
    DWORD m_volume = 0xFFFFFFFF;
    std::vector<BYTE> m_staging;
};

using CExports = CWaveExports<CWaveOutDevice, HWAVEOUT>;

}  // namespace
}  // namespace posix

UINT waveOutGetNumDevs(void) { return posix::CAudioSubsystem::DeviceCount(false); }

MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags) {
    return posix::CExports::Open(phwo, deviceId, format, callback, instance, flags, false, WOM_OPEN);
}

MMRESULT waveOutClose(HWAVEOUT hwo) { return posix::CExports::Close(hwo); }

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR header, UINT headerSize) {
    return posix::CExports::WithHeader(hwo, header, headerSize, &posix::CWaveOutDevice::Prepare);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR header, UINT headerSize) {
    return posix::CExports::WithHeader(hwo, header, headerSize, &posix::CWaveOutDevice::Unprepare);
}

MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR header, UINT headerSize) {
    return posix::CExports::WithHeader(hwo, header, headerSize, &posix::CWaveOutDevice::Queue);
}

MMRESULT waveOutPause(HWAVEOUT hwo) { return posix::CExports::Call(hwo, &posix::CWaveOutDevice::Pause); }

MMRESULT waveOutRestart(HWAVEOUT hwo) { return posix::CExports::Call(hwo, &posix::CWaveOutDevice::Restart); }

MMRESULT waveOutReset(HWAVEOUT hwo) { return posix::CExports::Call(hwo, &posix::CWaveOutDevice::Reset); }

MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD volume) {
    return posix::CExports::Call(hwo, &posix::CWaveOutDevice::SetVolume, volume);
}

MMRESULT waveOutGetVolume(HWAVEOUT hwo, LPDWORD volume) {
    if (!volume) return MMSYSERR_INVALPARAM;
    return posix::CExports::Call(hwo, &posix::CWaveOutDevice::GetVolume, *volume);
}
