// Wave input: the endpoint's thread pours captured frames into the queued buffers in order; a
// buffer is finished when no whole frame fits any more, and frames that find no buffer are dropped.
#include <algorithm>
#include <cstring>
#include <vector>

#include "AudioSubsystem.h"
#include "WaveDevice.h"
#include "WaveExports.h"

namespace posix {
namespace {

class CWaveInDevice final : public CWaveDevice {
public:
    using CWaveDevice::CWaveDevice;

    MMRESULT Start() {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (!m_closing && CheckLost()) return MMSYSERR_NODRIVER;
        }
        return SetRecording(true) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
    }

    // The buffer being filled comes back with what it holds; empty ones stay queued. A lost device
    // has handed everything back already, so both succeed.
    MMRESULT Stop() { return Halt(false); }
    MMRESULT Reset() { return Halt(true); }

    void Notify(UINT message, DWORD_PTR param1) override {
        if (m_callback)
            reinterpret_cast<void(CALLBACK *)(HWAVEIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(m_callback)(
                reinterpret_cast<HWAVEIN>(m_handle), message, m_instance, param1, 0);
    }

    bool Exchange(BYTE *block, size_t bytes) override {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_recording || m_lost) return false;
        if (m_converter) SDL_AudioStreamPut(m_converter, block, int(bytes));
        const size_t frame = m_format.BlockAlign();
        size_t used = 0;
        while (!m_queue.Empty()) {
            const LPWAVEHDR header = m_queue.Front();
            const size_t space = (header->dwBufferLength - header->dwBytesRecorded) / frame * frame;
            BYTE *to = reinterpret_cast<BYTE *>(header->lpData) + header->dwBytesRecorded;
            size_t take;
            if (m_converter) {
                const size_t available = size_t(SDL_AudioStreamAvailable(m_converter)) / frame * frame;
                const int got = SDL_AudioStreamGet(m_converter, to, int(std::min(space, available)));
                take = got > 0 ? size_t(got) : 0;
            } else {
                take = std::min(space, (bytes - used) / frame * frame);
                std::memcpy(to, block + used, take);
                used += take;
            }
            header->dwBytesRecorded += DWORD(take);
            if (header->dwBufferLength - header->dwBytesRecorded >= frame) return true;
            FinishFront();
        }
        // Nothing is queued to take the rest: it is dropped.
        if (m_converter) SDL_AudioStreamClear(m_converter);
        return true;
    }

protected:
    bool Capture() const override { return true; }
    UINT DoneMessage() const override { return WIM_DATA; }
    UINT CloseMessage() const override { return WIM_CLOSE; }

    void Leave() override { SetRecording(false); }

    void Discard() override {
        if (m_converter) SDL_AudioStreamClear(m_converter);
    }

private:
    // Tells the endpoint when this device starts or stops taking part; false once closing.
    bool SetRecording(bool recording) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (m_closing && recording) return false;
            if (m_recording == recording) return true;
            m_recording = recording;
        }
        m_endpoint->Record(recording);
        return true;
    }

    MMRESULT Halt(bool all) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (m_closing) return MMSYSERR_INVALHANDLE;
            CheckLost();
        }
        SetRecording(false);
        std::unique_lock<std::mutex> hold(m_lock);
        if (m_converter) SDL_AudioStreamClear(m_converter);
        if (all) {
            while (!m_queue.Empty()) FinishFront();
        } else if (!m_queue.Empty() && m_queue.Front()->dwBytesRecorded > 0) {
            FinishFront();
        }
        WaitReported(hold);
        return MMSYSERR_NOERROR;
    }

    bool m_recording = false;
};

using CExports = CWaveExports<CWaveInDevice, HWAVEIN>;

}  // namespace
}  // namespace posix

UINT waveInGetNumDevs(void) { return posix::CAudioSubsystem::DeviceCount(true); }

// Every device records every standard format: SDL converts from whatever the hardware delivers.
MMRESULT waveInGetDevCapsA(UINT_PTR deviceId, LPWAVEINCAPSA caps, UINT capsSize) {
    if (!caps) return MMSYSERR_INVALPARAM;
    int index = -1;
    const MMRESULT result = posix::CAudioSubsystem::Resolve(UINT(deviceId), true, index);
    if (result != MMSYSERR_NOERROR) return result;
    WAVEINCAPSA filled{};
    filled.vDriverVersion = 0x0100;
    posix::CAudioSubsystem::DeviceName(index, true, filled.szPname);
    filled.dwFormats = 0x000FFFFF;
    filled.wChannels = 2;
    std::memcpy(caps, &filled, std::min<size_t>(capsSize, sizeof(filled)));
    return MMSYSERR_NOERROR;
}

MMRESULT waveInOpen(LPHWAVEIN phwi, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback, DWORD_PTR instance,
                    DWORD flags) {
    return posix::CExports::Open(phwi, deviceId, format, callback, instance, flags, true, WIM_OPEN);
}

MMRESULT waveInClose(HWAVEIN hwi) { return posix::CExports::Close(hwi); }

MMRESULT waveInPrepareHeader(HWAVEIN hwi, LPWAVEHDR header, UINT headerSize) {
    return posix::CExports::WithHeader(hwi, header, headerSize, &posix::CWaveInDevice::Prepare);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, LPWAVEHDR header, UINT headerSize) {
    return posix::CExports::WithHeader(hwi, header, headerSize, &posix::CWaveInDevice::Unprepare);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, LPWAVEHDR header, UINT headerSize) {
    return posix::CExports::WithHeader(hwi, header, headerSize, &posix::CWaveInDevice::Queue);
}

MMRESULT waveInStart(HWAVEIN hwi) { return posix::CExports::Call(hwi, &posix::CWaveInDevice::Start); }

MMRESULT waveInStop(HWAVEIN hwi) { return posix::CExports::Call(hwi, &posix::CWaveInDevice::Stop); }

MMRESULT waveInReset(HWAVEIN hwi) { return posix::CExports::Call(hwi, &posix::CWaveInDevice::Reset); }
