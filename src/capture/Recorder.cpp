#include "capture/Recorder.h"

#include <cstdio>
#include <cstring>

#include "core/LockScope.h"

namespace {
UINT PlatformDeviceCount() { return waveInGetNumDevs(); }
MMRESULT PlatformDeviceCaps(UINT device, WAVEINCAPSA *caps) { return waveInGetDevCapsA(device, caps, sizeof(*caps)); }
}  // namespace

CRecorder::CRecorder() { InitializeCriticalSection(&m_lock); }

CRecorder::~CRecorder() {
    if (m_device) {
        Stop();
        Close();
    }
    DeleteCriticalSection(&m_lock);
}

const WaveInDeviceList &CRecorder::PlatformDevices() {
    static const WaveInDeviceList devices = {&PlatformDeviceCount, &PlatformDeviceCaps};
    return devices;
}

void CRecorder::SetCallback(RecorderDataCallback callback, void *context) {
    m_dataCallback = callback;
    m_callbackContext = context;
}

DWORD CRecorder::FormatMask(const WAVEFORMATEX &format) {
    DWORD mask;
    switch (format.nSamplesPerSec) {
    case 11025: mask = WAVE_FORMAT_1M08; break;
    case 22050: mask = WAVE_FORMAT_2M08; break;
    case 44100: mask = WAVE_FORMAT_4M08; break;
    default: mask = 0; break;
    }
    if (format.wBitsPerSample == 16) mask *= 4;
    if (format.nChannels == 2) mask *= 2;
    // Rates without a capability bit of their own ask for the most common one, 44.1 kHz 16-bit mono.
    return mask ? mask : WAVE_FORMAT_4M16;
}

BOOL CRecorder::ChooseDevice(const WAVEFORMATEX &format, const WaveInDeviceList &devices, UINT *device) {
    const DWORD mask = FormatMask(format);
    const UINT count = devices.count();
    for (UINT i = 0; i < count; ++i) {
        WAVEINCAPSA caps;
        std::memset(&caps, 0, sizeof(caps));
        if (devices.caps(i, &caps) == MMSYSERR_NOERROR && (caps.dwFormats & mask)) {
            *device = i;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CRecorder::Open(const WAVEFORMATEX &format) {
    UINT index = 0;
    if (m_device || !ChooseDevice(format, PlatformDevices(), &index)) return FALSE;
    HWAVEIN device = nullptr;
    if (waveInOpen(&device, index, &format, reinterpret_cast<DWORD_PTR>(&CRecorder::DeviceCallback),
                   reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) != MMSYSERR_NOERROR)
        return FALSE;
    m_format = format;
    m_device = device;
    return TRUE;
}

BOOL CRecorder::PrepareBuffers() {
    if (m_format.nAvgBytesPerSec <= kBuffersPerSecond) {
        std::snprintf(m_lastError, sizeof(m_lastError), "PrepareBuffers, Invalid Buffer Size, File: %s ,Line Number:%d",
                      __FILE__, __LINE__);
        return FALSE;
    }
    // The device still holds the buffers of an earlier start until Stop takes them back.
    for (const WAVEHDR &header : m_headers) {
        if (header.lpData) {
            std::snprintf(m_lastError, sizeof(m_lastError), "PrepareBuffers, Already Started, File: %s ,Line Number:%d",
                          __FILE__, __LINE__);
            return FALSE;
        }
    }
    const DWORD size = m_format.nAvgBytesPerSec / kBuffersPerSecond;
    for (int i = 0; i < kBufferCount; ++i) {
        WAVEHDR &header = m_headers[i];
        header.lpData = static_cast<LPSTR>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
        header.dwBufferLength = size;
        header.dwUser = static_cast<DWORD_PTR>(i);
        MMRESULT code = waveInPrepareHeader(m_device, &header, sizeof(WAVEHDR));
        if (code != MMSYSERR_NOERROR) {
            std::snprintf(m_lastError, sizeof(m_lastError), "waveInPrepareHeader, Code: %d, File: %s ,Line Number:%d",
                          static_cast<int>(code), __FILE__, __LINE__);
            return FALSE;
        }
        code = waveInAddBuffer(m_device, &header, sizeof(WAVEHDR));
        if (code != MMSYSERR_NOERROR) {
            std::snprintf(m_lastError, sizeof(m_lastError), "waveInAddBuffer, Code: %d, File: %s ,Line Number:%d",
                          static_cast<int>(code), __FILE__, __LINE__);
            return FALSE;
        }
    }
    return TRUE;
}

BOOL CRecorder::RecordStart() {
    if (!m_device) return FALSE;
    // A start after a stop circulates the buffers again.
    {
        CLockScope lock(&m_lock);
        m_stopping = 0;
        m_failed = 0;
    }
    if (!PrepareBuffers()) return FALSE;
    const MMRESULT code = waveInStart(m_device);
    if (code == MMSYSERR_NOERROR) return TRUE;
    std::snprintf(m_lastError, sizeof(m_lastError), "RecordStart, Code: %d, File: %s ,Line Number:%d",
                  static_cast<int>(code), __FILE__, __LINE__);
    return FALSE;
}

BOOL CRecorder::Stop() {
    if (!m_device) return TRUE;
    {
        CLockScope lock(&m_lock);
        m_stopping = 1;
    }
    if (waveInStop(m_device) != MMSYSERR_NOERROR) return FALSE;
    // The device hands back every queued buffer before the reset returns.
    if (waveInReset(m_device) != MMSYSERR_NOERROR) return FALSE;
    for (WAVEHDR &header : m_headers) {
        if (!header.lpData) continue;
        const MMRESULT code = waveInUnprepareHeader(m_device, &header, sizeof(WAVEHDR));
        if (code != MMSYSERR_NOERROR) {
            std::snprintf(m_lastError, sizeof(m_lastError),
                          "waveInUnprepareHeader failed, Code: %d, File: %s ,Line Number:%d", static_cast<int>(code),
                          __FILE__, __LINE__);
            return FALSE;
        }
        HeapFree(GetProcessHeap(), 0, header.lpData);
        std::memset(&header, 0, sizeof(header));
    }
    return TRUE;
}

BOOL CRecorder::Close() {
    if (waveInClose(m_device) != MMSYSERR_NOERROR) return FALSE;
    m_device = nullptr;
    CLockScope lock(&m_lock);
    m_stopping = 0;
    return TRUE;
}

void CALLBACK CRecorder::DeviceCallback(HWAVEIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    if (message == WIM_DATA && instance)
        reinterpret_cast<CRecorder *>(instance)->OnBufferDone(reinterpret_cast<WAVEHDR *>(param1));
}

void CRecorder::OnBufferDone(WAVEHDR *header) {
    if (!header || !(header->dwFlags & WHDR_DONE)) return;
    if (m_dataCallback && header->lpData && header->dwBytesRecorded > 0)
        m_dataCallback(m_callbackContext, RECORDER_DATA, reinterpret_cast<const BYTE *>(header->lpData),
                       header->dwBytesRecorded);
    // Under the lock, so that once Stop has set the flag no buffer goes back to the device.
    BOOL failed = FALSE;
    {
        CLockScope lock(&m_lock);
        if (!m_stopping && waveInAddBuffer(m_device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR && !m_failed)
            failed = m_failed = 1;
    }
    // Capture has ended without a stop: the owner hears it once.
    if (failed && m_dataCallback) m_dataCallback(m_callbackContext, RECORDER_FAILED, nullptr, 0);
}
