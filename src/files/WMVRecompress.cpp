#include "files/WMVRecompress.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/ComSupport.h"
#include "core/DebugOutput.h"

namespace {

const QWORD kOneSecond = 10000000;
const DWORD kAnyOutput = 0xFFFFFFFF;

// The first 18 bytes of the stream's format block, when its media type can be read.
HRESULT ReadStreamFormat(IWMStreamConfig *stream, WAVEFORMATEX *format) {
    IWMMediaProps *props = nullptr;
    HRESULT hr = stream->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void **>(&props));
    if (FAILED(hr)) return hr;
    DWORD size = 0;
    hr = props->GetMediaType(nullptr, &size);
    std::unique_ptr<BYTE[]> storage;
    if (SUCCEEDED(hr) && size >= sizeof(WM_MEDIA_TYPE)) {
        storage.reset(new (std::nothrow) BYTE[size]);
        if (!storage) hr = E_OUTOFMEMORY;
    } else if (SUCCEEDED(hr)) {
        hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) hr = props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE *>(storage.get()), &size);
    props->Release();
    if (FAILED(hr)) return hr;
    const WM_MEDIA_TYPE *type = reinterpret_cast<const WM_MEDIA_TYPE *>(storage.get());
    // A block shorter than the basic wave format names no channels, rate and sample size.
    if (!type->pbFormat || type->cbFormat < 16) return E_FAIL;
    WAVEFORMATEX found = {};
    std::memcpy(&found, type->pbFormat, std::min<size_t>(type->cbFormat, sizeof(found)));
    *format = found;
    return S_OK;
}

}  // namespace

CWMVRecompress::CWMVRecompress() : m_streamFormat(), m_audioOutput(kAnyOutput) {}

CWMVRecompress::~CWMVRecompress() { ReleaseReaderObjects(); }

HRESULT CWMVRecompress::QueryInterface(REFIID riid, void **ppvObject) {
    return ppvObject ? CComObject::QueryInterface(riid, ppvObject) : E_INVALIDARG;
}

void *CWMVRecompress::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWMReaderCallback) ||
        IsEqualIID(riid, IID_IWMStatusCallback))
        return static_cast<IWMReaderCallback *>(this);
    if (IsEqualIID(riid, IID_IWMReaderCallbackAdvanced)) return static_cast<IWMReaderCallbackAdvanced *>(this);
    return nullptr;
}

HRESULT CWMVRecompress::OnStatus(WMT_STATUS Status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE *, void *) {
    if (FAILED(m_hrAsync.load())) {
        SetEvent(m_hEvent);
        return S_OK;
    }
    if (FAILED(hr)) {
        Complete(hr);
        return S_OK;
    }
    if (IsCancelled()) return S_OK;
    switch (Status) {
    case WMT_OPENED:
        ConsolePrintf("Reader Callback: File is opened.\n");
        Complete(S_OK);
        break;
    case WMT_EOF:
        m_bEOF = TRUE;
        Complete(S_OK);
        break;
    case WMT_STARTED: {
        m_cnsTime = kOneSecond;
        const HRESULT delivered = m_pReaderAdvanced->DeliverTime(m_cnsTime);
        if (FAILED(delivered)) Complete(delivered);
        break;
    }
    default: break;
    }
    return S_OK;
}

HRESULT CWMVRecompress::OnSample(DWORD dwOutputNum, QWORD cnsSampleTime, QWORD cnsSampleDuration, DWORD dwFlags,
                                 INSSBuffer *pSample, void *pvContext) {
    if (IsCancelled()) return S_OK;
    const HRESULT hr = DeliverSample(dwOutputNum, cnsSampleTime, cnsSampleDuration, dwFlags, pSample, pvContext);
    if (FAILED(hr)) Complete(hr);
    return S_OK;
}

HRESULT CWMVRecompress::OnStreamSample(WORD, QWORD, QWORD, DWORD, INSSBuffer *, void *) {
    // The reader was never asked for compressed samples.
    ConsolePrintf("Reader Callback: Received a compressed sample (hr=0x%08x).\n", unsigned(E_UNEXPECTED));
    Complete(E_UNEXPECTED);
    return S_OK;
}

HRESULT CWMVRecompress::OnTime(QWORD, void *) {
    if (IsCancelled() || m_bEOF) return S_OK;
    m_cnsTime += kOneSecond;
    const HRESULT hr = m_pReaderAdvanced->DeliverTime(m_cnsTime);
    if (FAILED(hr)) Complete(hr);
    return S_OK;
}

HRESULT CWMVRecompress::OnStreamSelection(WORD, WORD *, WMT_STREAM_SELECTION *, void *) { return S_OK; }

HRESULT CWMVRecompress::OnOutputPropsChanged(DWORD, WM_MEDIA_TYPE *, void *) { return S_OK; }

HRESULT CWMVRecompress::AllocateForStream(WORD, DWORD, INSSBuffer **, void *) { return E_NOTIMPL; }

HRESULT CWMVRecompress::AllocateForOutput(DWORD, DWORD, INSSBuffer **, void *) { return E_NOTIMPL; }

HRESULT CWMVRecompress::CreateReaderObjects() {
    m_hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_hEvent) return HResultFromLastError();
    HRESULT hr = WMCreateReader(nullptr, 0, &m_pReader);
    if (SUCCEEDED(hr))
        hr = m_pReader->QueryInterface(IID_IWMReaderAdvanced, reinterpret_cast<void **>(&m_pReaderAdvanced));
    if (SUCCEEDED(hr)) hr = m_pReader->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void **>(&m_pHeaderInfo));
    if (SUCCEEDED(hr)) hr = m_pReader->QueryInterface(IID_IWMProfile, reinterpret_cast<void **>(&m_pProfile));
    return hr;
}

void CWMVRecompress::ReleaseReaderObjects() {
    ReleaseInterface(m_pProfile);
    ReleaseInterface(m_pHeaderInfo);
    ReleaseInterface(m_pReaderAdvanced);
    ReleaseInterface(m_pReader);
    if (m_hEvent) {
        CloseHandle(m_hEvent);
        m_hEvent = nullptr;
    }
}

HRESULT CWMVRecompress::DecodeToCallback(LPCWSTR path, LONG windowStartMs, LONG windowEndMs, PcmDataCallback callback,
                                         BRIVANE_USER user, volatile uint32_t *cancel) {
    if (!path) return E_INVALIDARG;
    std::unique_ptr<CPcmSink> sink(new (std::nothrow) CPcmSink);
    if (!sink) return E_OUTOFMEMORY;
    sink->SetTarget(windowStartMs, windowEndMs, callback, user);
    m_pCancel = cancel;
    sink->Finish(false);
    const HRESULT hr = OpenAndDecode(path, sink.get());
    sink->Finish(true);
    return hr;
}

HRESULT CWMVRecompress::DecodeToWavFile(LPCWSTR inputPath, LPCWSTR outputPath) {
    if (!inputPath || !outputPath) return E_FAIL;
    const int size = WideCharToMultiByte(CP_ACP, 0, outputPath, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return E_FAIL;
    std::vector<char> narrow(size_t(size), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, outputPath, -1, narrow.data(), size, nullptr, nullptr) <= 0) return E_FAIL;
    std::unique_ptr<CPcmSink> sink(new (std::nothrow) CPcmSink);
    if (!sink || !sink->Open(narrow.data())) return E_FAIL;
    sink->Finish(false);
    HRESULT hr = DecodeFile(inputPath, sink.get());
    const bool finished = sink->Finish(true);
    const bool closed = sink->Close();
    // A WAV cut short by a full disk, a size limit or an input that broke off would pass for a finished one.
    if (!(finished && closed) || (FAILED(hr) && sink->DataBytes() > 0)) {
        DeleteFileW(outputPath);
        if (SUCCEEDED(hr)) hr = E_FAIL;
    }
    return hr;
}

HRESULT CWMVRecompress::OpenAndDecode(LPCWSTR path, CPcmSink *sink) {
    if (!m_pHeaderInfo || !m_pReader || !m_hEvent || !path) return E_FAIL;
    ResetEvent(m_hEvent);
    m_hrAsync = S_OK;
    HRESULT hr = m_pReader->Open(path, this, nullptr);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = WaitForCompletion())) return hr;
    hr = m_pReaderAdvanced->SetUserProvidedClock(TRUE);
    if (SUCCEEDED(hr)) hr = ReadDuration();
    // A refused file is closed again, so that the kept reader can open the next one.
    if (SUCCEEDED(hr) && FindAudioFormat() != S_OK) hr = NS_E_NO_STREAM;
    if (FAILED(hr)) {
        CloseFile();
        return hr;
    }
    return DecodeOpenFile(sink);
}

HRESULT CWMVRecompress::DecodeFile(LPCWSTR path, CPcmSink *sink) {
    if (!path) return E_INVALIDARG;
    m_hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_hEvent) {
        const HRESULT failure = HResultFromLastError();
        ReleaseReaderObjects();
        return failure;
    }
    HRESULT hr = CreateAndOpen(path);
    if (SUCCEEDED(hr) && FindAudioFormat() != S_OK) {
        CloseFile();
        hr = NS_E_NO_STREAM;
    }
    if (FAILED(hr)) {
        ReleaseReaderObjects();
        return hr;
    }
    hr = DecodeOpenFile(sink);
    ReleaseReaderObjects();
    return hr;
}

HRESULT CWMVRecompress::DecodeOpenFile(CPcmSink *sink) {
    m_bFormatValid = TRUE;
    FindAudioOutput();
    ApplyFormat(sink);
    const HRESULT run = RunToEnd(sink);
    if (FAILED(run)) ReportFailure(run);
    // The file is closed whatever the run gave, so no reader callback outlives it; a decode that broke
    // off (a file cut short under the reader) must not pass for a whole one.
    const HRESULT closed = CloseFile();
    return FAILED(run) ? run : closed;
}

HRESULT CWMVRecompress::CreateAndOpen(LPCWSTR path) {
    ConsolePrintf("Creating the Reader...\n");
    HRESULT hr = WMCreateReader(nullptr, 0, &m_pReader);
    if (SUCCEEDED(hr))
        hr = m_pReader->QueryInterface(IID_IWMReaderAdvanced, reinterpret_cast<void **>(&m_pReaderAdvanced));
    if (SUCCEEDED(hr)) hr = m_pReader->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void **>(&m_pHeaderInfo));
    if (SUCCEEDED(hr)) hr = m_pReader->QueryInterface(IID_IWMProfile, reinterpret_cast<void **>(&m_pProfile));
    if (FAILED(hr)) return hr;
    m_hrAsync = S_OK;
    ResetEvent(m_hEvent);
    if (FAILED(hr = m_pReader->Open(path, this, nullptr))) return hr;
    if (FAILED(hr = WaitForCompletion())) return hr;
    hr = ReadDuration();
    if (SUCCEEDED(hr)) hr = m_pReaderAdvanced->SetUserProvidedClock(TRUE);
    // A file refused once open is closed again before its reader goes.
    if (FAILED(hr)) CloseFile();
    return hr;
}

HRESULT CWMVRecompress::ReadDuration() {
    WORD stream = 0;
    WMT_ATTR_DATATYPE type = WMT_TYPE_QWORD;
    QWORD duration = 0;
    WORD length = sizeof(duration);
    const HRESULT hr = m_pHeaderInfo->GetAttributeByName(&stream, g_wszWMDuration, &type,
                                                         reinterpret_cast<BYTE *>(&duration), &length);
    if (FAILED(hr)) return hr;
    m_cnsDuration = duration;
    return duration == 0 ? E_INVALIDARG : S_OK;
}

HRESULT CWMVRecompress::FindAudioFormat() {
    IWMProfile *profile = nullptr;
    HRESULT hr = m_pReader->QueryInterface(IID_IWMProfile, reinterpret_cast<void **>(&profile));
    if (FAILED(hr)) return hr;
    DWORD count = 0;
    hr = profile->GetStreamCount(&count);
    HRESULT last = SUCCEEDED(hr) ? S_FALSE : hr;
    for (DWORD index = 0; SUCCEEDED(hr) && index < count; ++index) {
        IWMStreamConfig *stream = nullptr;
        if (FAILED(last = profile->GetStream(index, &stream))) break;
        GUID type = {};
        const HRESULT typed = stream->GetStreamType(&type);
        if (FAILED(typed))
            last = typed;
        else
            last = IsEqualGUID(type, WMMEDIATYPE_Audio) ? ReadStreamFormat(stream, &m_streamFormat) : S_FALSE;
        stream->Release();
        // An audio stream whose media type cannot be read is passed over; the first readable one wins.
        if (FAILED(typed) || last == S_OK) break;
    }
    profile->Release();
    return last;
}

void CWMVRecompress::FindAudioOutput() {
    m_audioOutput = kAnyOutput;
    DWORD count = 0;
    if (FAILED(m_pReader->GetOutputCount(&count))) return;
    for (DWORD output = 0; output < count; ++output) {
        IWMOutputMediaProps *props = nullptr;
        if (FAILED(m_pReader->GetOutputProps(output, &props)) || !props) continue;
        GUID type = {};
        const bool audio = SUCCEEDED(props->GetType(&type)) && IsEqualGUID(type, WMMEDIATYPE_Audio);
        props->Release();
        if (audio) {
            m_audioOutput = output;
            return;
        }
    }
}

void CWMVRecompress::ApplyFormat(CPcmSink *sink) {
    if (!m_bFormatValid) return;
    sink->SetFormat(m_streamFormat);
    sink->Finish(false);
}

HRESULT CWMVRecompress::RunToEnd(CPcmSink *sink) {
    m_cnsTime = 0;
    m_hrAsync = S_OK;
    m_bEOF = FALSE;
    ResetEvent(m_hEvent);
    const HRESULT hr = m_pReader->Start(0, 0, 1.0f, sink);
    if (FAILED(hr)) return hr;
    const HRESULT run = WaitForCompletion();
    const HRESULT stopped = m_pReader->Stop();
    // A read that failed part way (a file cut short under the reader) must not pass for a whole decode.
    return FAILED(run) ? run : stopped;
}

HRESULT CWMVRecompress::CloseFile() {
    const HRESULT hr = m_pReader->Close();
    if (FAILED(hr)) ConsolePrintf("m_pReader->Close() failed.\n");
    m_cnsDuration = 0;
    return hr;
}

HRESULT CWMVRecompress::WaitForCompletion() {
    const DWORD wait = WaitForSingleObject(m_hEvent, INFINITE);
    if (wait == WAIT_OBJECT_0) return m_hrAsync;
    if (HRESULT(wait) < 0) return HRESULT(wait);
    return HRESULT(0x80070000u | (wait & 0xFFFF));
}

bool CWMVRecompress::IsCancelled() {
    // The host sets its flag from any thread.
    if (!m_pCancel || __atomic_load_n(m_pCancel, __ATOMIC_RELAXED) == 0) return false;
    Complete(kCancelled);
    return true;
}

void CWMVRecompress::Complete(HRESULT hr) {
    m_hrAsync = hr;
    SetEvent(m_hEvent);
}

HRESULT CWMVRecompress::DeliverSample(DWORD output, QWORD time, QWORD duration, DWORD, INSSBuffer *sample,
                                      void *context) {
    CPcmSink *sink = static_cast<CPcmSink *>(context);
    if (!sink || sink->IsComplete() || !sample) return S_OK;
    if (m_audioOutput != kAnyOutput && output != m_audioOutput) return S_OK;
    BYTE *data = nullptr;
    DWORD length = 0;
    if (FAILED(sample->GetBufferAndLength(&data, &length)) || !data || length == 0) return S_OK;
    if (time >= m_cnsDuration) return S_OK;
    const WAVEFORMATEX &format = sink->Format();
    sink->WriteData(data, LengthWithinDuration(time, duration, m_cnsDuration, length, format.nAvgBytesPerSec,
                                               format.wBitsPerSample));
    if (sink->IsComplete()) Complete(S_OK);
    return S_OK;
}

LONG CWMVRecompress::LengthWithinDuration(QWORD time, QWORD duration, QWORD fileDuration, DWORD length, DWORD byteRate,
                                          WORD bitsPerSample) {
    if (time + duration <= fileDuration) return LONG(length);
    const DWORD overMs = DWORD((time + duration - fileDuration) / 10000);
    const DWORD cut = ((overMs % 1000) * byteRate + 500) / 1000 + (overMs / 1000) * byteRate;
    if (length < cut) return LONG(length);
    const DWORD width = bitsPerSample / 8;
    if (width == 0) return LONG(length);
    const int64_t left = int64_t(length) - int64_t(cut) - int64_t(cut % width);
    return left < 0 ? 0 : LONG(left);
}

void CWMVRecompress::ReportFailure(HRESULT code) {
    switch (code) {
    case NS_E_VIDEO_CODEC_NOT_INSTALLED: ConsolePrintf("BeginWriting failed: Video codec not installed\n"); break;
    case NS_E_AUDIO_CODEC_NOT_INSTALLED: ConsolePrintf("BeginWriting failed: Audio codec not installed\n"); break;
    case NS_E_INVALID_OUTPUT_FORMAT: ConsolePrintf("BeginWriting failed: Invalid output format \n"); break;
    case NS_E_VIDEO_CODEC_ERROR:
        ConsolePrintf("BeginWriting failed: An unexpected error occurred with the video codec \n");
        break;
    case NS_E_AUDIO_CODEC_ERROR:
        ConsolePrintf("BeginWriting failed: An unexpected error occurred with the audio codec \n");
        break;
    case NS_E_INVALID_NUM_PASSES:
        ConsolePrintf("Preprocessing samples failed: Invalid preprocessing passes. Don't use -m option\n");
        break;
    case NS_E_INVALID_INPUT_FORMAT:
        ConsolePrintf("Set writer input failed: The input format is invalid (hr=0x%08x).\n", unsigned(code));
        break;
    default: ConsolePrintf("Preprocessing samples failed: Error (hr=0x%08x)\n", unsigned(code)); break;
    }
}
