// A capture instance: a wave-input recorder whose every 50 ms buffer goes to the host raw and, for
// PCM, into an encoder whose header and data units go to the host as well.
#pragma once

#include "capture/CaptureEncoder.h"
#include "capture/Recorder.h"
#include "core/InstanceInterfaces.h"
#include "platform/platform.h"

// Capture event codes and arguments as they leave an instance; the encoder's stream-begin (3) and
// end (5) codes pass through from the writer sink unchanged.
enum : DWORD {
    CAPTURE_EVENT_BEGIN = 1,
    CAPTURE_EVENT_DATA = 4,
    CAPTURE_RAW = 1,                   // first argument of raw PCM
    CAPTURE_ENCODED = 0,               // first argument of encoder output
    CAPTURE_HEADER = 0,                // second argument of encoded header bytes
    CAPTURE_NOT_HEADER = 0xFFFFFFFEu,  // second argument of everything else (-2)
    CAPTURE_EVENT_FAILED = 6,          // not a capture event: the service reports it as a failure
};

class CCaptureInstance final : public ICaptureCommands {
public:
    CCaptureInstance() = default;
    // Releases the encoder; the service has closed the device before.
    ~CCaptureInstance() override = default;
    CCaptureInstance(const CCaptureInstance &) = delete;
    CCaptureInstance &operator=(const CCaptureInstance &) = delete;

    void SetHandle(WORD handle) override { m_handle = handle; }
    BOOL Open(const WAVEFORMATEX *format, LPCWSTR profile) override;
    void SetEventSink(RecordEventSink sink, void *context) override;
    BOOL Start() override;
    BOOL Stop() override;
    void Close() override;
    void Destroy() override { delete this; }

private:
    // The recorder's data callback: raw PCM to the host, then into the encoder.
    static LONG WINAPI OnCaptureData(void *context, DWORD code, const BYTE *data, DWORD bytes);
    // The writer sink's callback: encoder output to the host.
    static void WINAPI OnEncoderEvent(DWORD_PTR context, DWORD code, const BYTE *data, LONG length, BOOL isHeader);

    WORD m_handle = 0;
    RecordEventSink m_eventSink = nullptr;
    void *m_sinkContext = nullptr;
    CRecorder m_recorder;
    CCaptureEncoder m_encoder;
    WAVEFORMATEX m_format{};
};
