// Play control: the play states and their events, start, pause, resume, seek, stop, the play
// window, the speed with the reader clock that goes with it, and the reader's notifications.
#include "playback/Player.h"

#include "core/LockScope.h"

namespace {

const DWORD kPacingPeriodMs = 50;
// How long a pause or seek waits for the reader to report a start under way.
const DWORD kStartLimitMs = 5000;

// Statuses that end a start's stream.
BOOL EndsStream(WMT_STATUS status) {
    return status == WMT_ERROR || status == WMT_MISSING_CODEC || status == WMT_EOF || status == WMT_END_OF_SEGMENT ||
           status == WMT_STOPPED;
}

// The speed factor as the engine gets it: percent times the single-precision 0.01, rounded to single.
float SpeedFactor(LONG percent) { return static_cast<float>(percent * static_cast<double>(0.01f)); }

}  // namespace

BOOL CPlayer::EventPasses(DWORD code) const {
    const DWORD mask = m_eventMask.load();
    if (mask == 0 || code < EVENT_FORMAT || code > EVENT_DATA) return TRUE;
    return (mask >> (code - 1)) & 1u;
}

void CPlayer::Raise(DWORD code, const void *data, DWORD size) {
    if (!m_pfnSink || !EventPasses(code)) return;
    m_pfnSink(m_handle, m_sinkContext, code, data, size);
}

void CPlayer::SetState(DWORD state) {
    m_state = state;
    if (state != PS_STARTING && state != PS_PAUSED && state != PS_PLAYING) return;
    CLockScope lock(&m_lock);
    if (m_teardown != TD_ACTIVE) return;
    switch (state) {
    case PS_STARTING:
        if (m_pFormat) Raise(EVENT_FORMAT, m_pFormat, 18);
        break;
    case PS_PAUSED: Raise(EVENT_PAUSED, nullptr, 0); break;
    default: Raise(EVENT_PLAYING, nullptr, 0); break;
    }
}

void CPlayer::EndStart(DWORD generation) {
    {
        CLockScope lock(&m_lock);
        if (m_playGeneration.load() != generation) return;
        m_state = PS_ENDED;
        if (m_teardown != TD_ACTIVE) return;
    }
    EnterEnded(generation);
}

// The silence fill goes out under the lock; its wait before the end event does not hold the lock, and
// ends early when a stop or a new start makes the end of this playback moot.
void CPlayer::EnterEnded(DWORD generation) {
    DWORD waitMs = 0;
    {
        CLockScope lock(&m_lock);
        if (m_playGeneration.load() == generation && m_output.IsLost()) {
            ReportDeviceFailure();
            return;
        }
        // The status handler and the render thread may both get here; the first one ends this start.
        DWORD progress = kEndOpen;
        if (m_playGeneration.load() != generation || !m_endReported.compare_exchange_strong(progress, kEndEntered))
            return;
        waitMs = m_teardown == TD_ACTIVE ? FillSilence() : 0;
        // Paced, the queue raises the end once it has handed out the data and the silence, and not
        // before the silence is in it: the play state alone says ended a moment earlier.
        if (IsPaced()) {
            m_endReported = kEndPaced;
            return;
        }
    }
    for (DWORD waited = 0; waited < waitMs && m_playGeneration.load() == generation; waited += 10) Sleep(10);

    CLockScope lock(&m_lock);
    if (m_teardown == TD_ACTIVE && m_playGeneration.load() == generation) {
        DWORD entered = kEndEntered;
        if (m_endReported.compare_exchange_strong(entered, kEndReported)) {
            m_feed.StopPacing();
            Raise(EVENT_END, nullptr, 0);
            SetEvent(m_hEvent);
        }
    }
}

void CPlayer::WindowBounds(QWORD *start, QWORD *end) const {
    const QWORD duration = m_duration.load();
    const QWORD windowStart = m_windowStart.load();
    const QWORD windowEnd = m_windowEnd.load();
    *start = windowStart <= duration ? windowStart : 0;
    *end = windowEnd <= duration ? windowEnd : duration;
}

HRESULT CPlayer::Play() { return m_state == PS_PAUSED ? Resume() : StartPlayback(); }

HRESULT CPlayer::StartPlayback() {
    QWORD start = 0;
    QWORD end = 0;
    WindowBounds(&start, &end);
    m_playSpeed = m_speed.load();
    {
        CLockScope lock(&m_lock);
        // A new generation at once, under the lock: a WAV piece of the previous start is read whole or not at all.
        ++m_playGeneration;
        m_feed.ResetBytesToHost();
        // Every start stretches from a fresh engine: what an earlier start left in one must not play now.
        m_speedAdaptor.DestroyEngine();
    }
    const LONG speed = m_playSpeed.load();
    if (m_mode == PLAY_MODE_WAVE) {
        if (speed != 100 && speed != 0 && !ApplySpeed(SpeedFactor(speed))) return E_FAIL;
    } else {
        const HRESULT hr = ConfigureClock();
        if (FAILED(hr)) return hr;
    }
    m_startPending = TRUE;
    const HRESULT hr = StartOutput(start, end == 0 ? 0 : end - start);
    // Direct WAV mode has reported its start within the call or never will, and a failed start never will.
    if (FAILED(hr) || m_mode == PLAY_MODE_WAVE) m_startPending = FALSE;
    return hr;
}

HRESULT CPlayer::ConfigureClock() {
    if (!m_pFormat) return E_FAIL;
    HRESULT result = S_OK;
    // Under the lock, so a tick or render thread holding the interface has taken its own reference.
    IWMReaderAdvanced *held = nullptr;
    {
        CLockScope lock(&m_lock);
        held = m_feed.TakeClock();
    }
    if (held) {
        result = held->SetUserProvidedClock(FALSE);
        held->Release();
    }
    const LONG speed = m_playSpeed.load();
    if (speed == 100) return result;
    if (!m_pReader) return E_UNEXPECTED;
    IWMReaderAdvanced *advanced = nullptr;
    HRESULT hr = m_pReader->QueryInterface(IID_IWMReaderAdvanced, reinterpret_cast<void **>(&advanced));
    if (SUCCEEDED(hr)) hr = advanced->SetUserProvidedClock(TRUE);
    if (FAILED(hr)) {
        if (advanced) advanced->Release();
        return hr;
    }
    m_feed.SetClock(advanced);
    if (speed == 0) return hr;
    return ApplySpeed(SpeedFactor(speed)) ? S_OK : E_FAIL;
}

BOOL CPlayer::ApplySpeed(float factor) {
    if (!m_pFormat) return FALSE;
    CLockScope lock(&m_lock);
    const BOOL ok = m_speedAdaptor.CreateEngine(*m_pFormat) && m_speedAdaptor.SetSpeed(factor);
    return ok;
}

void CPlayer::WaitForStart() {
    const DWORD begun = GetTickCount();
    while (m_startPending.load() && GetTickCount() - begun < kStartLimitMs) Sleep(1);
}

void *CPlayer::StartContext(DWORD generation) { return reinterpret_cast<void *>(static_cast<DWORD_PTR>(generation)); }

DWORD CPlayer::StartGeneration(void *context) { return static_cast<DWORD>(reinterpret_cast<DWORD_PTR>(context)); }

BOOL CPlayer::IsCurrentStart(void *context) const { return StartGeneration(context) == m_playGeneration.load(); }

HRESULT CPlayer::Pause() {
    if (!m_pReader) return E_UNEXPECTED;
    // Paused while the reader starts (a seek while playing), the start is paused once under way: a host
    // that pauses always gets the pause, never only the format.
    WaitForStart();
    if (m_state != PS_PLAYING) {
        // Without a format there is nothing to announce: the medium never opened.
        if (!m_pFormat) return E_FAIL;
        SetState(PS_STARTING);
        return S_OK;
    }
    if (IsPaced()) m_feed.PausePacing();
    if (m_output.Pause() != MMSYSERR_NOERROR) return E_FAIL;
    SetState(PS_PAUSED);
    // In direct WAV mode the reader has opened nothing: the device and the pacing are the whole pause.
    return m_mode == PLAY_MODE_WAVE ? S_OK : m_pReader->Pause();
}

HRESULT CPlayer::Resume() {
    if (!m_pReader) return E_UNEXPECTED;
    if (m_state != PS_PAUSED) return E_FAIL;
    m_feed.ResumePacing(IsPaced(), kPacingPeriodMs);
    if (m_output.Restart() != MMSYSERR_NOERROR) return E_FAIL;
    SetState(PS_PLAYING);
    return m_mode == PLAY_MODE_WAVE ? S_OK : m_pReader->Resume();
}

HRESULT CPlayer::Seek(DWORD positionMs) {
    m_windowStart = static_cast<QWORD>(positionMs) * 10000u;
    // A seek right after a start restarts that start, so the last of quick seeks is where the play goes on.
    WaitForStart();
    return m_state == PS_PLAYING ? Play() : S_OK;
}

HRESULT CPlayer::SetPlayWindow(DWORD startMs, DWORD endMs) {
    if (startMs > endMs) return E_INVALIDARG;
    m_windowStart = static_cast<QWORD>(startMs) * 10000u;
    m_windowEnd = endMs == 0xFFFFFFFF ? 0 : static_cast<QWORD>(endMs) * 10000u;
    return S_OK;
}

HRESULT CPlayer::SetSpeed(LONG percent) {
    m_speed = percent;
    return S_OK;
}

HRESULT CPlayer::SetEventMask(DWORD mask) {
    m_eventMask = mask;
    return S_OK;
}

HRESULT CPlayer::Stop() {
    {
        CLockScope lock(&m_lock);
        if (m_teardown == TD_STOPPING) return S_OK;
        m_teardown = TD_STOPPING;
    }
    ++m_playGeneration;
    m_startPending = FALSE;
    m_duration = 0;
    if (m_pReader) {
        if (m_state != PS_ENDED) m_pReader->Stop();
        m_closeDone = 0;
        if (FAILED(m_pReader->Close())) {
            m_asyncResult = S_OK;
            m_closeDone = 1;
            SetEvent(m_hEvent);
        }
    }
    m_feed.StopPacing();
    if (m_pReader) WaitForCompletion(&m_closeDone);
    m_samplePool.Clear();
    if (m_output.IsOpen()) {
        if (m_output.Reset() != MMSYSERR_NOERROR) {
            m_output.WaitForDrain(5000);
            if (m_output.Close() != MMSYSERR_NOERROR) return E_FAIL;
        }
        m_output.Close();
    }
    m_outputNumber = kNoOutput;
    SetState(PS_STOPPED);
    return S_OK;
}

HRESULT CPlayer::StartReader(QWORD start, QWORD duration) {
    if (!m_pReader) return E_UNEXPECTED;
    // The start's context comes back with its status and samples, so samples of an earlier start are refused.
    return m_pReader->Start(start, duration, 1.0f, StartContext(m_playGeneration.load()));
}

// Under the player lock like every other use of the adaptor, so a new start's engine set-up cannot
// race the flush at the end of the previous stream.
void CPlayer::FlushAdaptor() {
    CLockScope lock(&m_lock);
    m_speedAdaptor.Flush();
}

// The status arrives on the reader's thread and may be overtaken by a newer start: it ends only its own.
void CPlayer::OnStreamEnd(BOOL signalCompletion, HRESULT result, DWORD generation) {
    if (MarkStreamEnd(signalCompletion, result)) EndStart(generation);
}

BOOL CPlayer::MarkStreamEnd(BOOL signalCompletion, HRESULT result) {
    FlushAdaptor();
    DeliverRemainder();
    m_feed.EndOfStream();
    m_endOfStream = 1;
    if (signalCompletion) {
        m_asyncResult = result;
        SetEvent(m_hEvent);
    }
    return m_output.PendingBuffers() == 0;
}

HRESULT STDMETHODCALLTYPE CPlayer::OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE *, void *context) {
    // The end of an earlier start, reported while a seek restarts the reader, must not end this one.
    if (EndsStream(status) && !IsCurrentStart(context)) return S_OK;
    switch (status) {
    case WMT_ERROR:
    case WMT_MISSING_CODEC:
        FlushAdaptor();
        m_feed.EndOfStream();
        m_endOfStream = 1;
        break;
    case WMT_OPENED:
        m_asyncResult = hr;
        m_openDone = 1;
        SetEvent(m_hEvent);
        break;
    case WMT_CLOSED:
        m_asyncResult = hr;
        m_closeDone = 1;
        SetEvent(m_hEvent);
        break;
    case WMT_BUFFERING_START: SetState(PS_BUFFERING); break;
    case WMT_BUFFERING_STOP: SetState(PS_PLAYING); break;
    case WMT_EOF: OnStreamEnd(FALSE, hr, StartGeneration(context)); break;
    case WMT_END_OF_SEGMENT:
    case WMT_STOPPED: OnStreamEnd(TRUE, hr, StartGeneration(context)); break;
    case WMT_STARTED: {
        m_endOfStream = 0;
        QWORD start = 0;
        QWORD end = 0;
        WindowBounds(&start, &end);
        m_feed.ResetClock(start);
        if (IsPaced()) StartPacing(kPacingPeriodMs);
        // A bounded grant: the clock runs on as the host data and the device take the media.
        const HRESULT delivered = m_feed.GrantFirst();
        if (FAILED(delivered)) {
            m_asyncResult = delivered;
            SetEvent(m_hEvent);
        }
        SetState(PS_PLAYING);
        if (IsCurrentStart(context)) m_startPending = FALSE;
        break;
    }
    default: break;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPlayer::OnSample(DWORD output, QWORD time, QWORD duration, DWORD, INSSBuffer *sample,
                                            void *context) {
    if (output != m_outputNumber || !sample) return S_OK;
    const QWORD windowEnd = m_windowEnd.load();
    if (windowEnd != 0 && time >= windowEnd) return S_OK;
    DWORD cut = 0;
    if (m_pfnSink && windowEnd != 0 && time + duration > windowEnd) {
        const QWORD excessMs = (time + duration - windowEnd) / 10000u;
        if (excessMs >= 1) cut = MsToBytes(static_cast<DWORD>(excessMs - 1));
    }
    HRESULT hr = S_OK;
    CLockScope lock(&m_lock);
    // A sample of an earlier start (delivered while a seek restarts the reader) is dropped.
    if (m_pReader && m_teardown == TD_ACTIVE && IsCurrentStart(context)) {
        BYTE *data = nullptr;
        DWORD length = 0;
        hr = sample->GetBufferAndLength(&data, &length);
        if (SUCCEEDED(hr)) {
            length = cut < length ? length - cut : 0;
            // A cut keeps whole frames, so neither the host nor the device gets part of one.
            const DWORD align = m_pFormat ? m_pFormat->nBlockAlign : 0;
            if (cut > 0 && align > 1) length -= length % align;
            if (length > 0) {
                m_feed.Hand(data, length, IsPaced());
                const LONG speed = m_playSpeed.load();
                if (speed == 100)
                    WritePcm(data, length);
                else if (speed != 0)
                    m_speedAdaptor.Process(data, static_cast<LONG>(length));
            }
        }
    }
    return FAILED(hr) ? hr : S_OK;
}

HRESULT STDMETHODCALLTYPE CPlayer::OnTime(QWORD currentTime, void *context) {
    if (m_endOfStream.load() || !m_feed.IsClocked()) return S_OK;
    QWORD start = 0;
    QWORD end = 0;
    WindowBounds(&start, &end);
    // Without a window end the clock runs until the reader reports the end of the stream itself.
    if (end != 0 && currentTime >= end) {
        OnStatus(WMT_STOPPED, S_OK, WMT_TYPE_DWORD, nullptr, context);
        return S_OK;
    }
    m_feed.ClockReached();
    ExtendClock();
    return S_OK;
}

void CPlayer::ExtendClock() {
    if (!m_feed.IsClockReached() || m_endOfStream.load() || !WantsMoreMedia()) return;
    const HRESULT hr = m_feed.ExtendClock();
    if (FAILED(hr)) {
        m_asyncResult = hr;
        SetEvent(m_hEvent);
    }
}

void CPlayer::OnTick() { ExtendClock(); }
