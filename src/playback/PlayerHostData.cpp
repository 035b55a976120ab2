// The player's side of its host feed: the block size and the pacing that follow the format and the
// speed, the silence a play window calls for, the paced end of playback and the look-ahead.
#include "playback/Player.h"

#include "core/LockScope.h"

namespace {

const DWORD kSilenceLimitMs = 3000;
// More media is read or decoded while the host's queue holds less than this much play time...
const ULONGLONG kHostAheadMs = 1000;
// ...and the device less than this, which allows for the one-second buffers of direct WAV mode.
const ULONGLONG kDeviceAheadMs = 3000;

}  // namespace

void CPlayer::SetEventSink(PlayEventSink sink, void *context, DWORD blockPeriodMs) {
    m_pfnSink = sink;
    m_sinkContext = context;
    CHostFeed::SetBlockPeriod(blockPeriodMs);
}

void CPlayer::SetHostBlockSize() {
    m_feed.SetBlockSize(MsToBytes(CHostFeed::BlockPeriod()), m_pFormat ? m_pFormat->nBlockAlign : 0);
}

void CPlayer::DeliverRemainder() {
    CLockScope lock(&m_lock);
    if (m_teardown == TD_ACTIVE) m_feed.DeliverRemainder(m_pFormat ? m_pFormat->nBlockAlign : 0);
}

DWORD CPlayer::FillSilence() {
    const QWORD windowStart = m_windowStart.load();
    const QWORD windowEnd = m_windowEnd.load();
    if (!m_pFormat || windowEnd == 0 || windowEnd == 0xFFFFFFFFFFFFFFFFull || windowStart >= windowEnd ||
        !EventPasses(EVENT_DATA))
        return 0;
    const QWORD windowMs = (windowEnd - windowStart) / 10000u + 1;
    const DWORD target = MsToBytes(windowMs < kSilenceLimitMs ? static_cast<DWORD>(windowMs) : kSilenceLimitMs);
    return m_feed.FillSilence(target, m_pFormat->nBlockAlign, IsPaced());
}

HRESULT CPlayer::StartPacing(DWORD periodMs) {
    const LONG speed = m_playSpeed.load();
    const double factor = speed == 0 ? 1.0 : speed * 0.01;
    const DWORD avg = m_pFormat ? m_pFormat->nAvgBytesPerSec : 0;
    const DWORD blockBytes = static_cast<DWORD>(static_cast<double>(avg * periodMs) * factor * 0.001 + 0.5);
    return m_feed.StartPacing(blockBytes, periodMs);
}

// Under the player lock, so a start begun since (which clears the paced end first) keeps its pacing.
void CPlayer::OnPacedEnd() {
    CLockScope lock(&m_lock);
    DWORD paced = kEndPaced;
    if (!m_endReported.compare_exchange_strong(paced, kEndReported)) return;
    m_feed.StopPacing();
    Raise(EVENT_END, nullptr, 0);
    SetEvent(m_hEvent);
}

BOOL CPlayer::WantsMoreMedia() const {
    const DWORD avg = m_pFormat ? m_pFormat->nAvgBytesPerSec : 0;
    if (avg == 0) return FALSE;
    const ULONGLONG hostMs = static_cast<ULONGLONG>(m_feed.QueuedBytes()) * 1000u / avg;
    const LONG deviceBytes = m_output.QueuedBytes();
    const ULONGLONG deviceMs = deviceBytes > 0 ? static_cast<ULONGLONG>(deviceBytes) * 1000u / avg : 0;
    return hostMs < kHostAheadMs && deviceMs < kDeviceAheadMs;
}
