#include "capture/CaptureEncoder.h"

#include <cstring>
#include <new>
#include <vector>

#include "files/WmaEncoder.h"

CCaptureEncoder::~CCaptureEncoder() { Close(); }

HRESULT CCaptureEncoder::Open(const WAVEFORMATEX &format, LPCWSTR profile, SinkCallback callback, DWORD_PTR context) {
    if (!profile || m_pWriter || m_pSink) return E_FAIL;
    Close();
    HRESULT hr = WMCreateWriter(nullptr, &m_pWriter);
    if (FAILED(hr)) return hr;
    IWMProfile *loaded = nullptr;
    hr = LoadProfile(profile, &loaded);
    if (FAILED(hr)) return hr;
    hr = m_pWriter->SetProfile(loaded);
    if (SUCCEEDED(hr)) hr = AttachSink(callback, context);
    if (SUCCEEDED(hr)) hr = TakeCaptureFormat(format);
    loaded->Release();
    return hr;
}

HRESULT CCaptureEncoder::AttachSink(SinkCallback callback, DWORD_PTR context) {
    if (!m_pWriter) return E_INVALIDARG;
    CWriterSink *sink = new (std::nothrow) CWriterSink;
    // A writer without a sink still encodes; its output is simply dropped.
    if (!sink) return S_OK;
    IWMWriterSink *asSink = nullptr;
    IWMWriterAdvanced *advanced = nullptr;
    HRESULT hr = sink->QueryInterface(IID_IWMWriterSink, reinterpret_cast<void **>(&asSink));
    if (SUCCEEDED(hr)) hr = m_pWriter->QueryInterface(IID_IWMWriterAdvanced, reinterpret_cast<void **>(&advanced));
    if (SUCCEEDED(hr)) hr = advanced->AddSink(asSink);
    if (SUCCEEDED(hr)) sink->SetCallback(callback, context);
    if (advanced) advanced->Release();
    if (asSink) asSink->Release();
    if (FAILED(hr)) {
        sink->Release();
        return hr;
    }
    m_pSink = sink;
    return S_OK;
}

// Every PCM input of the writer is told to expect the capture format, whatever the profile chose.
HRESULT CCaptureEncoder::TakeCaptureFormat(const WAVEFORMATEX &format) {
    DWORD inputs = 0;
    HRESULT hr = m_pWriter->GetInputCount(&inputs);
    if (FAILED(hr)) return hr;
    for (DWORD i = 0; i < inputs; ++i) {
        IWMInputMediaProps *props = nullptr;
        hr = m_pWriter->GetInputProps(i, &props);
        if (FAILED(hr)) continue;
        DWORD size = 0;
        hr = props->GetMediaType(nullptr, &size);
        if (SUCCEEDED(hr) && size >= sizeof(WM_MEDIA_TYPE)) {
            // Held as WM_MEDIA_TYPE units so that the record at its start is properly aligned.
            std::vector<WM_MEDIA_TYPE> storage((size + sizeof(WM_MEDIA_TYPE) - 1) / sizeof(WM_MEDIA_TYPE));
            WM_MEDIA_TYPE *type = storage.data();
            hr = props->GetMediaType(type, &size);
            if (SUCCEEDED(hr) && IsEqualGUID(type->formattype, WMFORMAT_WaveFormatEx) && type->pbFormat &&
                type->cbFormat >= sizeof(WAVEFORMATEX) &&
                reinterpret_cast<const WAVEFORMATEX *>(type->pbFormat)->wFormatTag == format.wFormatTag) {
                std::memcpy(type->pbFormat, &format, sizeof(WAVEFORMATEX));
                hr = props->SetMediaType(type);
                // The writer hands out a copy of the input's properties: only this commits the change.
                if (SUCCEEDED(hr)) hr = m_pWriter->SetInputProps(i, props);
            }
        }
        props->Release();
    }
    return hr;
}

HRESULT CCaptureEncoder::Start() {
    if (!m_pWriter) return E_FAIL;
    if (m_pSink) m_pSink->NotifyBegin(WRITER_SINK_BEGIN);
    return m_pWriter->BeginWriting();
}

HRESULT CCaptureEncoder::Stop() {
    if (!m_pWriter) return E_FAIL;
    m_pWriter->Flush();
    const HRESULT hr = m_pWriter->EndWriting();
    m_runningMs = 0;
    return hr;
}

void CCaptureEncoder::Close() {
    if (m_pSink) m_pSink->Release();
    m_pSink = nullptr;
    if (m_pWriter) m_pWriter->Release();
    m_pWriter = nullptr;
    m_runningMs = 0;
}

HRESULT CCaptureEncoder::Write(const BYTE *data, DWORD bytes, const WAVEFORMATEX &format) {
    return WriteChunk(m_pWriter, data, bytes, &format, &m_runningMs);
}
