#include "stretch/SpeedAdaptor.h"

#include <new>

namespace {
const LONG kBlockBytes = 4096;
const uint32_t kOutBufferBytes = 8192;
}  // namespace

CSpeedAdaptor::CSpeedAdaptor() {
    m_chunker.SetBlockSize(kBlockBytes);
    m_pOutBuffer = new (std::nothrow) BYTE[kOutBufferBytes];
}

CSpeedAdaptor::~CSpeedAdaptor() {
    DestroyEngine();
    delete[] m_pOutBuffer;
}

void CSpeedAdaptor::SetOutput(SpeedOutputCallback callback, void *context) {
    m_outputCallback = callback;
    m_pCallbackContext = context;
}

BOOL CSpeedAdaptor::CreateEngine(const WAVEFORMATEX &format) {
    if (m_pEngine) return TRUE;
    if (!m_pOutBuffer || !m_chunker.HasBlockBuffer()) return FALSE;
    // The engine is defined for 16-bit mono and stereo only; anything else would overrun its buffers.
    if ((format.nChannels != 1 && format.nChannels != 2) || format.wBitsPerSample != 16) return FALSE;
    return StretchOpen(&m_pEngine, format.nSamplesPerSec, format.nChannels, format.wBitsPerSample);
}

BOOL CSpeedAdaptor::SetSpeed(float factor) {
    if (!m_pEngine) return FALSE;
    StretchSetSpeed(m_pEngine, factor);
    return TRUE;
}

BOOL CSpeedAdaptor::Process(const BYTE *data, LONG bytes) {
    if (!m_pEngine || !m_outputCallback) return FALSE;
    m_chunker.SetInput(data, bytes);
    LONG length = 0;
    while (const BYTE *block = m_chunker.Next(&length)) {
        Feed(block, length);
        if (length <= 0) break;
    }
    const BYTE *tail = m_chunker.TakePartial(&length);
    if (tail && length > 0) Feed(tail, length);
    m_chunker.ResetPartial();
    m_chunker.ClearInput();
    return TRUE;
}

void CSpeedAdaptor::Flush() {
    if (!m_pEngine) return;
    StretchFlush(m_pEngine);
    Drain();
}

void CSpeedAdaptor::DestroyEngine() {
    if (!m_pEngine) return;
    StretchClose(m_pEngine);
    m_pEngine = nullptr;
}

void CSpeedAdaptor::Feed(const BYTE *block, LONG bytes) {
    const uint32_t frames = static_cast<uint32_t>(bytes) / (m_pEngine->channels * 2);
    if (StretchPutSamples(m_pEngine, reinterpret_cast<const int16_t *>(block), frames) > 0) Drain();
}

void CSpeedAdaptor::Drain() {
    if (!m_outputCallback || !m_pOutBuffer) return;
    const uint32_t frameBytes = m_pEngine->channels * 2;
    for (;;) {
        const uint32_t frames =
            StretchReceiveSamples(m_pEngine, reinterpret_cast<int16_t *>(m_pOutBuffer), kOutBufferBytes / frameBytes);
        if (frames < 1) break;
        m_outputCallback(m_pOutBuffer, static_cast<LONG>(frames * frameBytes), m_pCallbackContext);
    }
}
