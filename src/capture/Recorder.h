// Captures PCM from the first wave-input device that records the requested format: 100 buffers of
// 50 ms circulate with the device, and each filled one goes to a data callback.
#pragma once

#include "platform/platform.h"

// Receives each filled capture buffer: context, event (RECORDER_DATA), data, bytes recorded; and,
// once per start, RECORDER_FAILED with no data when the device stops taking buffers back (removed).
// The data is valid during the call only; the result is not used.
typedef LONG(WINAPI *RecorderDataCallback)(void *context, DWORD event, const BYTE *data, DWORD bytes);
enum : DWORD { RECORDER_DATA = 4, RECORDER_FAILED = 6 };

// The wave-input devices as the recorder looks them up.
struct WaveInDeviceList {
    UINT (*count)();
    MMRESULT (*caps)(UINT device, WAVEINCAPSA *caps);
};

class CRecorder {
public:
    static const int kBufferCount = 100;
    // Each buffer holds nAvgBytesPerSec / kBuffersPerSecond bytes: 50 ms of audio.
    static const DWORD kBuffersPerSecond = 20;
    static const size_t kLastErrorSize = 260;

    CRecorder();
    // Closes a device its owner left open, so that nothing outlives the recorder.
    virtual ~CRecorder();
    CRecorder(const CRecorder &) = delete;
    CRecorder &operator=(const CRecorder &) = delete;

    void SetCallback(RecorderDataCallback callback, void *context);
    // 1 when a device was opened with the format; 0 when none records it or one is open already.
    BOOL Open(const WAVEFORMATEX &format);
    // 1 when the buffers are queued and the device records; 0 when not open or on failure.
    BOOL RecordStart();
    // 1 when stopped (or never opened); 0 when a device call failed.
    BOOL Stop();
    // 1 when closed; 0 when the device refused, which leaves it open to be closed again.
    BOOL Close();

    const WAVEFORMATEX &Format() const { return m_format; }
    const char *LastError() const { return m_lastError; }

    // The capability bits of which a device must advertise one to record the format.
    static DWORD FormatMask(const WAVEFORMATEX &format);
    // The first device, in index order, that advertises a bit of the format's mask.
    static BOOL ChooseDevice(const WAVEFORMATEX &format, const WaveInDeviceList &devices, UINT *device);
    static const WaveInDeviceList &PlatformDevices();

private:
    static void CALLBACK DeviceCallback(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                        DWORD_PTR param2);
    void OnBufferDone(WAVEHDR *header);
    BOOL PrepareBuffers();

    CRITICAL_SECTION m_lock;
    WAVEFORMATEX m_format{};
    RecorderDataCallback m_dataCallback = nullptr;
    void *m_callbackContext = nullptr;
    DWORD m_stopping = 0;
    // Set once the device has refused a buffer back during this start.
    DWORD m_failed = 0;
    HWAVEIN m_device = nullptr;
    WAVEHDR m_headers[kBufferCount]{};
    char m_lastError[kLastErrorSize]{};
};
