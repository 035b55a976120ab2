#include "files/WmaEncoder.h"

#include <cstring>
#include <vector>

#include "core/ComSupport.h"
#include "files/SpeechWave.h"
#include "files/WidePath.h"

namespace {

// The samples of one conversion, given back to the heap on every path.
class CSpeechSamples {
public:
    explicit CSpeechSamples(SHORT *samples) : m_samples(samples) {}
    ~CSpeechSamples() {
        if (m_samples) HeapFree(GetProcessHeap(), 0, m_samples);
    }
    CSpeechSamples(const CSpeechSamples &) = delete;
    CSpeechSamples &operator=(const CSpeechSamples &) = delete;

private:
    SHORT *m_samples;
};

// What the writer is fed: the samples as loaded, 16-bit mono at the file's rate, so that one
// chunk of the byte rate is one second whatever the file's width.
WAVEFORMATEX WriterInputFormat(const WAVEFORMATEX &file) {
    WAVEFORMATEX input = {};
    input.wFormatTag = WAVE_FORMAT_PCM;
    input.nChannels = 1;
    input.nSamplesPerSec = file.nSamplesPerSec;
    input.wBitsPerSample = 16;
    input.nBlockAlign = 2;
    input.nAvgBytesPerSec = file.nSamplesPerSec * 2;
    return input;
}

// Tells the writer the PCM format of input 0, so it never assumes the profile's rate.
HRESULT SetWriterInput(IWMWriter *writer, const WAVEFORMATEX &input) {
    IWMInputMediaProps *props = nullptr;
    HRESULT hr = writer->GetInputProps(0, &props);
    if (FAILED(hr)) return hr;
    if (!props) return E_FAIL;
    WAVEFORMATEX format = input;
    WM_MEDIA_TYPE type = {};
    type.majortype = WMMEDIATYPE_Audio;
    type.subtype = WMMEDIASUBTYPE_PCM;
    type.bFixedSizeSamples = TRUE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = input.nBlockAlign;
    type.formattype = WMFORMAT_WaveFormatEx;
    type.cbFormat = sizeof format;
    type.pbFormat = reinterpret_cast<BYTE *>(&format);
    hr = props->SetMediaType(&type);
    if (SUCCEEDED(hr)) hr = writer->SetInputProps(0, props);
    props->Release();
    return hr;
}

}  // namespace

HRESULT LoadProfile(LPCWSTR xml, IWMProfile **ppProfile) {
    if (!xml || !ppProfile) return E_POINTER;
    *ppProfile = nullptr;
    IWMProfileManager *manager = nullptr;
    HRESULT hr = WMCreateProfileManager(&manager);
    if (hr != S_OK || !manager) {
        ReleaseInterface(manager);
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = manager->LoadProfileByData(xml, ppProfile);
    manager->Release();
    if (SUCCEEDED(hr) && !*ppProfile) hr = E_FAIL;
    return hr;
}

HRESULT WriteChunk(IWMWriter *writer, const BYTE *bytes, DWORD count, const WAVEFORMATEX *format, DWORD *runningMs) {
    if (!writer) return E_INVALIDARG;
    if (!bytes || !format || !runningMs) return E_POINTER;
    // A byte rate of 0 gives no duration to advance the running time by.
    if (format->nAvgBytesPerSec == 0) return E_INVALIDARG;
    INSSBuffer *sample = nullptr;
    HRESULT hr = writer->AllocateSample(count, &sample);
    if (FAILED(hr)) return hr;
    if (!sample) return E_FAIL;
    BYTE *data = nullptr;
    DWORD length = 0;
    hr = sample->GetBufferAndLength(&data, &length);
    if (SUCCEEDED(hr) && !data) hr = E_FAIL;
    if (SUCCEEDED(hr)) {
        std::memcpy(data, bytes, count);
        hr = sample->SetLength(count);
    }
    if (SUCCEEDED(hr)) hr = writer->WriteSample(0, static_cast<QWORD>(*runningMs) * 10000, 0, sample);
    // The writer holds its own reference for as long as it needs the sample.
    sample->Release();
    if (SUCCEEDED(hr))
        *runningMs +=
            static_cast<DWORD>(MulDiv(static_cast<int>(count), 1000, static_cast<int>(format->nAvgBytesPerSec)));
    return hr;
}

CWmaEncoder::~CWmaEncoder() { ReleaseWriter(); }

HRESULT CWmaEncoder::Initialise() {
    if (m_pWriter) return S_OK;
    IWMWriter *writer = nullptr;
    IWMWriterFileSink *sink = nullptr;
    IWMWriterFileSink2 *sink2 = nullptr;
    IWMWriterAdvanced3 *advanced = nullptr;
    HRESULT hr = WMCreateWriter(nullptr, &writer);
    if (SUCCEEDED(hr) && !writer) hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = WMCreateWriterFileSink(&sink);
    if (SUCCEEDED(hr) && !sink) hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = sink->QueryInterface(IID_IWMWriterFileSink2, reinterpret_cast<void **>(&sink2));
    if (SUCCEEDED(hr)) hr = writer->QueryInterface(IID_IWMWriterAdvanced3, reinterpret_cast<void **>(&advanced));
    if (SUCCEEDED(hr)) hr = advanced->AddSink(sink2);
    if (FAILED(hr)) {
        ReleaseInterface(advanced);
        ReleaseInterface(sink2);
        ReleaseInterface(sink);
        ReleaseInterface(writer);
        return hr;
    }
    m_pWriter = writer;
    m_pWriterAdvanced = advanced;
    m_pFileSink = sink;
    m_pFileSink2 = sink2;
    return S_OK;
}

void CWmaEncoder::ReleaseWriter() {
    ReleaseInterface(m_pWriterAdvanced);
    ReleaseInterface(m_pFileSink2);
    ReleaseInterface(m_pFileSink);
    ReleaseInterface(m_pWriter);
}

HRESULT CWmaEncoder::Encode(LPCSTR wavPath, LPCSTR wmaPath, LPCWSTR profile) {
    if (!wavPath || !wmaPath || !m_pWriter) return E_INVALIDARG;
    std::vector<WCHAR> widePath;
    if (!WidenPath(wmaPath, widePath)) return E_INVALIDARG;
    DWORD count = 0;
    WAVEFORMATEX fileFormat = {};
    SHORT *samples = LoadSpeechWave(wavPath, &count, &fileFormat);
    CSpeechSamples samplesOwner(samples);
    if (!samples || count == 0) return E_FAIL;

    IWMProfile *writerProfile = nullptr;
    HRESULT hr = LoadProfile(profile, &writerProfile);
    if (FAILED(hr)) return hr;
    const WAVEFORMATEX input = WriterInputFormat(fileFormat);
    hr = m_pWriter->SetProfile(writerProfile);
    writerProfile->Release();
    if (SUCCEEDED(hr)) hr = SetWriterInput(m_pWriter, input);
    if (SUCCEEDED(hr)) hr = m_pFileSink2->Open(widePath.data());
    if (FAILED(hr)) return hr;
    hr = WriteSamples(reinterpret_cast<const BYTE *>(samples), static_cast<QWORD>(count) * 2, input);
    if (FAILED(hr)) {
        // The sink must let go of the file before it can be removed; closing it twice is harmless.
        m_pFileSink2->Close();
        // A file cut short by a full disk or a size limit would pass for a finished one.
        DeleteFileW(widePath.data());
    }
    return hr;
}

HRESULT CWmaEncoder::WriteSamples(const BYTE *bytes, QWORD total, const WAVEFORMATEX &input) {
    // Blocking or not, every sample is written by EndWriting; a writer without the mode still works.
    m_pWriterAdvanced->SetNonBlocking();
    HRESULT hr = m_pWriter->BeginWriting();
    if (FAILED(hr)) return hr;
    DWORD runningMs = 0;
    for (QWORD offset = 0; offset < total && SUCCEEDED(hr);) {
        const QWORD left = total - offset;
        const DWORD chunk = left < input.nAvgBytesPerSec ? static_cast<DWORD>(left) : input.nAvgBytesPerSec;
        // A refused chunk would leave a gap in the file, so it ends the conversion.
        hr = WriteChunk(m_pWriter, bytes + offset, chunk, &input, &runningMs);
        offset += chunk;
    }
    // Ending even a failed file leaves the writer ready for the next conversion.
    const HRESULT ended = m_pWriter->EndWriting();
    if (FAILED(hr)) return hr;
    if (FAILED(ended)) return ended;
    return m_pFileSink2->Close();
}
