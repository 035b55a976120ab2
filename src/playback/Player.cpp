// The player as the reader's callback object: reader creation, opening, output and format choice,
// header attributes and release.
#include "playback/Player.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/ComSupport.h"
#include "core/DebugOutput.h"
#include "core/LockScope.h"

namespace {

const LONG kPreallocatedSamples = 12;
// A reader that never reports its completion must not hang the service thread for good.
const DWORD kCompletionLimitMs = 30000;

}  // namespace

CPlayer::CPlayer() {
    InitializeCriticalSection(&m_lock);
    m_speedAdaptor.SetOutput(&CPlayer::WritePcmCallback, this);
}

CPlayer::~CPlayer() {
    Close();
    m_feed.DropQueued();
    m_samplePool.Clear();
    DeleteCriticalSection(&m_lock);
}

void *CPlayer::FindInterface(REFIID riid) {
    if (IsEqualGUID(riid, IID_IWMReaderCallback) || IsEqualGUID(riid, IID_IUnknown))
        return static_cast<IWMReaderCallback *>(this);
    if (IsEqualGUID(riid, IID_IWMReaderCallbackAdvanced)) return static_cast<IWMReaderCallbackAdvanced *>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE CPlayer::OnStreamSample(WORD, QWORD, QWORD, DWORD, INSSBuffer *, void *) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CPlayer::OnStreamSelection(WORD, WORD *, WMT_STREAM_SELECTION *, void *) { return S_OK; }

HRESULT STDMETHODCALLTYPE CPlayer::OnOutputPropsChanged(DWORD, WM_MEDIA_TYPE *, void *) { return S_OK; }

HRESULT STDMETHODCALLTYPE CPlayer::AllocateForStream(WORD, DWORD, INSSBuffer **, void *) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CPlayer::AllocateForOutput(DWORD output, DWORD size, INSSBuffer **buffer, void *) {
    if (output != m_outputNumber) return E_FAIL;
    if (!buffer) return E_POINTER;
    CSampleBuffer *sample = nullptr;
    const HRESULT hr = m_samplePool.Take(size, &sample);
    *buffer = SUCCEEDED(hr) ? sample : nullptr;
    return hr;
}

HRESULT CPlayer::Fail(const char *text, HRESULT hr) {
    std::snprintf(m_diagnostic, sizeof m_diagnostic, "%s (hr=%#X)", text, static_cast<unsigned>(hr));
    DebugPrintf("%s\n", m_diagnostic);
    return hr;
}

HRESULT CPlayer::WaitForCompletion(std::atomic<LONG> *done) {
    DWORD waited = 0;
    while (!done->load()) {
        if (!m_hEvent || m_hEvent == INVALID_HANDLE_VALUE) {
            Sleep(10);
            waited += 10;
        } else if (!PumpWait(m_hEvent, 100)) {
            waited += 100;
        }
        if (waited >= kCompletionLimitMs) {
            DebugPrintf("The reader did not complete within %u ms\n", static_cast<unsigned>(kCompletionLimitMs));
            return E_FAIL;
        }
    }
    return S_OK;
}

HRESULT CPlayer::CreateReader() {
    {
        CLockScope lock(&m_lock);
        m_teardown = TD_ACTIVE;
    }

    if (m_hEvent && m_hEvent != INVALID_HANDLE_VALUE) CloseHandle(m_hEvent);
    m_hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_hEvent) {
        Fail("Could not create the event", E_FAIL);
        Close();
        return E_FAIL;
    }
    const HRESULT hr = WMCreateReader(nullptr, 0, &m_pReader);
    if (FAILED(hr) || !m_pReader) {
        Fail("Could not create Reader", hr);
        Close();
        return FAILED(hr) ? hr : E_FAIL;
    }
    if (IWMReaderAdvanced *clock = m_feed.TakeClock()) clock->Release();
    if (!m_feed.StartTicks()) {
        Fail("InitUserClock failed!", E_FAIL);
        Close();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CPlayer::OpenFile(LPCWSTR name) {
    if (!name) return E_INVALIDARG;
    if (!m_pReader && FAILED(CreateReader())) return E_UNEXPECTED;
    m_diagnostic[0] = '\0';
    ResetEvent(m_hEvent);
    Stop();
    ForgetMedium();

    std::free(m_pFileName);
    const size_t length = static_cast<size_t>(lstrlenW(name)) + 1;
    m_pFileName = static_cast<WCHAR *>(std::malloc(length * sizeof(WCHAR)));
    HRESULT hr = S_OK;
    if (!m_pFileName) {
        hr = Fail("Insufficient memory", HResultFromLastError(E_OUTOFMEMORY));
    } else {
        std::memcpy(m_pFileName, name, length * sizeof(WCHAR));
        m_openDone = 0;
        hr = m_pReader->Open(name, static_cast<IWMReaderCallback *>(this), nullptr);
        if (FAILED(hr)) {
            Fail("Could not open the specified file", hr);
        } else if (FAILED(hr = WaitForCompletion(&m_openDone)) || FAILED(hr = m_asyncResult.load())) {
            Fail("Could not open the specified file", hr);
        } else {
            ReleaseInterface(m_pHeaderInfo);
            hr = m_pReader->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void **>(&m_pHeaderInfo));
            if (FAILED(hr)) {
                Fail("Could not QI for IWMHeaderInfo", hr);
            } else if (SUCCEEDED(hr = ReadAttributes())) {
                hr = SelectOutput();
            }
        }
    }
    m_windowStart = 0;
    m_windowEnd = m_duration.load();
    if (FAILED(hr)) {
        // The reader may hold the medium open: the stop that follows must run in full.
        m_teardown = TD_ACTIVE;
        Stop();
        return hr;
    }
    m_teardown = TD_ACTIVE;
    return hr;
}

HRESULT CPlayer::GetAttribute(LPCWSTR name, BYTE **out) {
    if (!m_pHeaderInfo) return E_UNEXPECTED;
    if (!out) return E_INVALIDARG;
    WORD stream = 0;
    WORD length = 0;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    HRESULT hr = m_pHeaderInfo->GetAttributeByName(&stream, name, &type, nullptr, &length);
    if (hr == static_cast<HRESULT>(0xC00D07F0)) {
        *out = nullptr;
        return S_OK;
    }
    if (FAILED(hr)) return hr;
    BYTE *value = static_cast<BYTE *>(std::malloc(length ? length : 1));
    if (!value) return HResultFromLastError(E_OUTOFMEMORY);
    hr = m_pHeaderInfo->GetAttributeByName(&stream, name, &type, value, &length);
    if (FAILED(hr)) {
        std::free(value);
        *out = nullptr;
        return hr;
    }
    *out = value;
    return S_OK;
}

HRESULT CPlayer::ReadAttributes() {
    QWORD duration = 0;
    struct Attribute {
        LPCWSTR name;
        const char *failure;
        void *target;
        size_t size;
    };
    const Attribute attributes[] = {
        {g_wszWMDuration, "Could not get the Duration attribute", &duration, sizeof duration},
        {g_wszWMSeekable, "Could not get the Seekable attribute", &m_seekable, sizeof m_seekable},
        {g_wszWMBroadcast, "Could not get the Broadcast attribute", &m_broadcast, sizeof m_broadcast},
    };
    for (const Attribute &attribute : attributes) {
        BYTE *value = nullptr;
        const HRESULT hr = GetAttribute(attribute.name, &value);
        if (FAILED(hr)) return Fail(attribute.failure, hr);
        std::memset(attribute.target, 0, attribute.size);
        if (value) std::memcpy(attribute.target, value, attribute.size);
        std::free(value);
        // The duration counts as soon as it is read, whatever the later attributes do.
        m_duration = duration;
    }
    return S_OK;
}

HRESULT CPlayer::SelectOutput() {
    if (!m_pReader) return E_UNEXPECTED;
    DWORD count = 0;
    HRESULT hr = m_pReader->GetOutputCount(&count);
    if (FAILED(hr)) return Fail("Could not get output count", hr);

    IWMOutputMediaProps *props = nullptr;
    WM_MEDIA_TYPE *type = nullptr;
    for (DWORD output = 0; output < count && SUCCEEDED(hr); ++output) {
        ReleaseInterface(props);
        std::free(type);
        type = nullptr;
        DWORD size = 0;
        if (FAILED(hr = m_pReader->GetOutputProps(output, &props))) {
            Fail("Could not get output props", hr);
        } else if (FAILED(hr = props->GetMediaType(nullptr, &size))) {
            Fail("Could not query for the space needed for media type", hr);
        } else if (!(type = static_cast<WM_MEDIA_TYPE *>(
                         std::malloc(size < sizeof(WM_MEDIA_TYPE) ? sizeof(WM_MEDIA_TYPE) : size)))) {
            hr = Fail("Insufficient memory", HResultFromLastError(E_OUTOFMEMORY));
        } else if (FAILED(hr = props->GetMediaType(type, &size))) {
            Fail("Could not get media type", hr);
        } else if (IsEqualGUID(type->majortype, WMMEDIATYPE_Audio) && m_outputNumber == kNoOutput &&
                   type->cbFormat == 18 && type->pbFormat) {
            SetFormat(reinterpret_cast<const WAVEFORMATEX *>(type->pbFormat));
            m_outputNumber = output;
            SetHostBlockSize();
        }
    }
    std::free(type);
    ReleaseInterface(props);
    if (FAILED(hr)) return hr;
    if (m_outputNumber == kNoOutput) return Fail("Could not find an audio stream in the specified file", E_UNEXPECTED);

    IWMReaderAdvanced *advanced = nullptr;
    if (SUCCEEDED(m_pReader->QueryInterface(IID_IWMReaderAdvanced, reinterpret_cast<void **>(&advanced)))) {
        DWORD maxSize = 0;
        advanced->GetMaxOutputSampleSize(m_outputNumber, &maxSize);
        advanced->SetAllocateForOutput(m_outputNumber, TRUE);
        m_samplePool.Preallocate(kPreallocatedSamples, maxSize);
        advanced->Release();
    }
    return hr;
}

void CPlayer::SetFormat(const WAVEFORMATEX *format) {
    if (m_pFormat && std::memcmp(m_pFormat, format, 18) != 0) {
        m_speedAdaptor.DestroyEngine();
        if (m_output.IsOpen()) {
            {
                CLockScope lock(&m_lock);
                m_teardown = TD_STOPPING;
            }
            if (m_output.Reset() == MMSYSERR_NOERROR) m_output.Close();
            m_teardown = TD_ACTIVE;
        }
    }
    if (!m_pFormat) {
        m_pFormat = static_cast<WAVEFORMATEX *>(std::malloc(sizeof(WAVEFORMATEX)));
        if (!m_pFormat) return;
    }
    std::memcpy(m_pFormat, format, 18);
    m_pFormat->nAvgBytesPerSec =
        ((static_cast<DWORD>(m_pFormat->wBitsPerSample) * m_pFormat->nSamplesPerSec) >> 3) * m_pFormat->nChannels;
}

HRESULT CPlayer::Close() {
    if (m_teardown == TD_CLOSED) return S_OK;
    {
        CLockScope lock(&m_lock);
        m_teardown = TD_CLOSED;
    }

    ReleaseInterface(m_pHeaderInfo);
    IWMReaderAdvanced *advanced = nullptr;
    {
        CLockScope lock(&m_lock);
        advanced = m_feed.TakeClock();
    }
    if (advanced) advanced->Release();
    m_feed.StopTicks();

    IWMReader *reader = nullptr;
    {
        CLockScope lock(&m_lock);
        reader = m_pReader;
        m_pReader = nullptr;
    }
    if (reader) reader->Release();

    if (m_output.IsOpen()) {
        m_output.Reset();
        m_output.Close();
    }
    if (m_hEvent && m_hEvent != INVALID_HANDLE_VALUE) CloseHandle(m_hEvent);
    m_hEvent = nullptr;
    std::free(m_pFileName);
    m_pFileName = nullptr;
    std::free(m_pFormat);
    m_pFormat = nullptr;
    m_speedAdaptor.DestroyEngine();
    return S_OK;
}

// Runs after Stop, so the reader, the host feed and the render thread no longer use what it clears.
void CPlayer::ForgetMedium() {
    if (m_output.IsOpen() && m_output.Reset() == MMSYSERR_NOERROR) m_output.Close();
    ReleaseInterface(m_pHeaderInfo);
    m_feed.DropQueued();
    {
        CLockScope lock(&m_lock);
        m_speedAdaptor.DestroyEngine();
        std::free(m_pFormat);
        m_pFormat = nullptr;
        m_feed.ForgetBlocks();
        m_outputNumber = kNoOutput;
    }
    m_duration = 0;
    m_seekable = FALSE;
    m_broadcast = FALSE;
    m_feed.ResetBytesToHost();
}

DWORD CPlayer::MsToBytes(DWORD ms) const {
    if (!m_pFormat || ms == 0) return 0;
    const DWORD avg = m_pFormat->nAvgBytesPerSec;
    return ((ms % 1000) * avg + 500) / 1000 + (ms / 1000) * avg;
}

double CPlayer::BytesToMs(DWORD bytes) const {
    if (!m_pFormat || m_pFormat->nAvgBytesPerSec == 0) return 0.0;
    const DWORD avg = m_pFormat->nAvgBytesPerSec;
    const DWORD whole = bytes / avg;
    const DWORD rest = bytes % avg;
    return static_cast<double>(rest) / avg * 1000.0 + static_cast<DWORD>(whole * 1000u);
}

int PumpWait(HANDLE handle, DWORD timeoutMs) {
    if (timeoutMs == 0) return 0;
    for (DWORD elapsed = 0; timeoutMs == INFINITE || elapsed < timeoutMs; elapsed += 10) {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (WaitForSingleObject(handle, 10) != WAIT_TIMEOUT) return 1;
    }
    return 0;
}
