// Feeds captured PCM into a Windows Media writer whose output goes to a writer sink, which hands
// the encoded header and data units back to a callback instead of a file.
#pragma once

#include "files/WriterSink.h"
#include "platform/platform.h"

class CCaptureEncoder {
public:
    CCaptureEncoder() = default;
    // Closes the encoder.
    virtual ~CCaptureEncoder();
    CCaptureEncoder(const CCaptureEncoder &) = delete;
    CCaptureEncoder &operator=(const CCaptureEncoder &) = delete;

    // Makes a writer with the profile (XML text), its PCM input taking the capture format, and
    // attaches a sink that reports to callback with context; E_FAIL without a profile or when open.
    HRESULT Open(const WAVEFORMATEX &format, LPCWSTR profile, SinkCallback callback, DWORD_PTR context);
    // Raises the sink's begin code, then begins writing; E_FAIL when not open.
    HRESULT Start();
    // Ends writing, which raises the sink's end code; sample times start again at 0.
    HRESULT Stop();
    // Releases the sink and the writer.
    void Close();
    // One writer sample of bytes PCM, stamped with the running time, which then advances.
    HRESULT Write(const BYTE *data, DWORD bytes, const WAVEFORMATEX &format);

    DWORD RunningMs() const { return m_runningMs; }

private:
    HRESULT AttachSink(SinkCallback callback, DWORD_PTR context);
    HRESULT TakeCaptureFormat(const WAVEFORMATEX &format);

    CWriterSink *m_pSink = nullptr;
    IWMWriter *m_pWriter = nullptr;
    DWORD m_runningMs = 0;
};
