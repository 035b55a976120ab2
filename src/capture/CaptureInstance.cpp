#include "capture/CaptureInstance.h"

#include <cstring>

BOOL CCaptureInstance::Open(const WAVEFORMATEX *format, LPCWSTR profile) {
    if (!format) return FALSE;
    m_recorder.SetCallback(&CCaptureInstance::OnCaptureData, this);
    if (!m_recorder.Open(*format)) return FALSE;
    // The recorder stays open on failure: the close command closes it.
    if (FAILED(m_encoder.Open(*format, profile, &CCaptureInstance::OnEncoderEvent, reinterpret_cast<DWORD_PTR>(this))))
        return FALSE;
    std::memcpy(&m_format, format, sizeof(WAVEFORMATEX));
    return TRUE;
}

void CCaptureInstance::SetEventSink(RecordEventSink sink, void *context) {
    m_eventSink = sink;
    m_sinkContext = context;
}

// Encoding begins before the first PCM arrives.
BOOL CCaptureInstance::Start() {
    if (FAILED(m_encoder.Start())) return FALSE;
    return m_recorder.RecordStart() ? TRUE : FALSE;
}

// The recorder stops first, so no PCM reaches the writer after it has been told to end.
BOOL CCaptureInstance::Stop() {
    if (!m_recorder.Stop()) return FALSE;
    return m_encoder.Stop() == S_OK ? TRUE : FALSE;
}

void CCaptureInstance::Close() {
    m_encoder.Close();
    m_recorder.Close();
}

LONG WINAPI CCaptureInstance::OnCaptureData(void *context, DWORD code, const BYTE *data, DWORD bytes) {
    CCaptureInstance *self = static_cast<CCaptureInstance *>(context);
    // A device that stopped recording on its own reaches the host as a failure of the instance.
    if (code == RECORDER_FAILED) {
        if (self->m_eventSink)
            self->m_eventSink(self->m_handle, self->m_sinkContext, CAPTURE_EVENT_FAILED, 0, 0, nullptr, 0);
        return 0;
    }
    if (self->m_eventSink)
        self->m_eventSink(self->m_handle, self->m_sinkContext, CAPTURE_EVENT_DATA, CAPTURE_RAW, 0, data, bytes);
    // Other formats are delivered raw only.
    if (self->m_format.wFormatTag != WAVE_FORMAT_PCM) return 0;
    return FAILED(self->m_encoder.Write(data, bytes, self->m_format)) ? -1 : 0;
}

void WINAPI CCaptureInstance::OnEncoderEvent(DWORD_PTR context, DWORD code, const BYTE *data, LONG length,
                                             BOOL isHeader) {
    CCaptureInstance *self = reinterpret_cast<CCaptureInstance *>(context);
    if (!self->m_eventSink) return;
    const DWORD second = isHeader ? CAPTURE_HEADER : CAPTURE_NOT_HEADER;
    // The begin event carries the capture format, whatever the sink passed.
    if (code == CAPTURE_EVENT_BEGIN)
        self->m_eventSink(self->m_handle, self->m_sinkContext, code, CAPTURE_ENCODED, second, &self->m_format,
                          sizeof(WAVEFORMATEX));
    else
        self->m_eventSink(self->m_handle, self->m_sinkContext, code, CAPTURE_ENCODED, second, data,
                          length > 0 ? static_cast<DWORD>(length) : 0);
}
