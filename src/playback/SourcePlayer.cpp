// The source player's media source, its opening on first use and its reader start.
#include "playback/SourcePlayer.h"

#include <cstdlib>

#include "core/AudioService.h"
#include "core/LockScope.h"
#include "playback/MediaSource.h"

CSourcePlayer::~CSourcePlayer() {
    ReleaseSource();
    if (m_pPiece) m_pPiece->Release();
}

BOOL CSourcePlayer::SetSource(const AudioOutOpenParams *params, ImageGuard *image) {
    if (!params) return FALSE;
    Stop();
    ForgetMedium();
    ReleaseSource();
    IStream *source = CreateMediaSource(params, image);
    if (!source) return FALSE;
    m_mode = params->mode;
    m_pSource = source;
    m_windowStart = 0;
    m_windowEnd = 0;
    m_duration = 0;
    m_eventMask = 0;
    m_opened = FALSE;
    m_speed = 100;
    return TRUE;
}

void CSourcePlayer::ReleaseSource() {
    if (m_pSource) m_pSource->Release();
    m_pSource = nullptr;
}

void CSourcePlayer::Shutdown() {
    Close();
    ReleaseSource();
}

BOOL CSourcePlayer::EnsureOpen() {
    if (m_opened) return TRUE;
    BOOL ready = TRUE;
    if (!m_pReader) {
        Close();
        ready = CreateReader() == S_OK;
    }
    if (!ready || !m_pSource) return FALSE;
    const HRESULT hr = m_mode == PLAY_MODE_WAVE ? OpenWaveSource() : OpenSource();
    m_opened = SUCCEEDED(hr);
    if (!m_opened) return FALSE;
    return m_duration != 0;
}

HRESULT CSourcePlayer::OpenSource() {
    if (!m_pReader || !m_pSource) return E_FAIL;
    ResetEvent(m_hEvent);
    Stop();
    ForgetMedium();
    std::free(m_pFileName);
    m_pFileName = nullptr;

    IWMReaderAdvanced2 *advanced = nullptr;
    HRESULT hr = m_pReader->QueryInterface(IID_IWMReaderAdvanced2, reinterpret_cast<void **>(&advanced));
    if (SUCCEEDED(hr)) {
        m_openDone = 0;
        hr = advanced->OpenStream(m_pSource, static_cast<IWMReaderCallback *>(this), nullptr);
        advanced->Release();
    }
    if (SUCCEEDED(hr)) {
        // An open that fails asynchronously shows as a duration of 0.
        WaitForCompletion(&m_openDone);
        if (m_pHeaderInfo) m_pHeaderInfo->Release();
        m_pHeaderInfo = nullptr;
        if (SUCCEEDED(m_pReader->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void **>(&m_pHeaderInfo))) &&
            SUCCEEDED(ReadAttributes())) {
            hr = SelectOutput();
            if (FAILED(hr)) {
                // The reader holds the medium open: the stop must run in full.
                m_teardown = TD_ACTIVE;
                Stop();
            }
        }
    }
    m_teardown = TD_ACTIVE;
    return hr;
}

HRESULT CSourcePlayer::StartReader(QWORD start, QWORD duration) {
    return m_mode == PLAY_MODE_WAVE ? StreamWave(start, duration) : CPlayer::StartReader(start, duration);
}

HRESULT STDMETHODCALLTYPE CSourcePlayer::OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, BYTE *value,
                                                  void *context) {
    if (status == WMT_ERROR) ReportMediaFailure();
    return CPlayer::OnStatus(status, hr, type, value, context);
}

void CSourcePlayer::ReportMediaFailure() {
    CLockScope lock(&m_lock);
    if (m_teardown == TD_ACTIVE) Raise(EVENT_COMMAND_FAILED, nullptr, 0);
}
