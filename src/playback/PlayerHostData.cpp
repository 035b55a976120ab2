// Host data: decoded PCM cut into blocks of one block period, raised as data events straight away on
// the reader's clock or queued and released by the tick thread at play pace; the end of playback as
// the host sees it.
#include <atomic>
#include <cstdlib>

#include "core/DebugOutput.h"
#include "core/FaultGuard.h"
#include "playback/Player.h"

namespace {

// The host data block period, shared by all players and set by every SetEventSink.
std::atomic<DWORD> g_blockPeriodMs{50};

const DWORD kSilenceLimitMs = 3000;
// More media is read or decoded while the host's queue holds less than this much play time...
const ULONGLONG kHostAheadMs = 1000;
// ...and the device less than this, which allows for the one-second buffers of direct WAV mode.
const ULONGLONG kDeviceAheadMs = 3000;
const DWORD kIdleEndMs = 10;

}  // namespace

void CPlayer::SetEventSink(PlayEventSink sink, void *context, DWORD blockPeriodMs) {
    m_pfnSink = sink;
    m_sinkContext = context;
    g_blockPeriodMs = blockPeriodMs;
}

void CPlayer::SetHostBlockSize() {
    DWORD size = MsToBytes(g_blockPeriodMs.load());
    const DWORD align = m_pFormat ? m_pFormat->nBlockAlign : 0;
    if (align > 0) size = (size + align - 1) / align * align;
    if (size == 0) return;
    m_hostBlockBytes = size;
    m_hostChunker.SetBlockSize(static_cast<LONG>(size));
}

void CPlayer::HandToHost(const BYTE *data, DWORD bytes) {
    if (!IsPaced()) {
        DirectBlocks(data, bytes);
        return;
    }
    m_pacedQueue.Enqueue(data, bytes);
    m_bytesToHost += bytes;
}

void CPlayer::DirectBlocks(const BYTE *data, DWORD bytes) {
    if (!m_pfnSink || !data || bytes == 0 || !EventPasses(EVENT_DATA)) return;
    m_hostChunker.SetInput(data, static_cast<LONG>(bytes));
    LONG length = 0;
    while (const BYTE *block = m_hostChunker.Next(&length)) {
        m_pfnSink(m_handle, m_sinkContext, EVENT_DATA, block, static_cast<DWORD>(length));
        m_bytesToHost += static_cast<DWORD>(length);
    }
    m_hostChunker.ClearInput();
}

void CPlayer::DeliverRemainder() {
    EnterCriticalSection(&m_lock);
    LONG count = 0;
    const BYTE *partial = m_teardown == TD_ACTIVE ? m_hostChunker.TakePartial(&count) : nullptr;
    if (partial && count > 0) {
        const LONG align = m_pFormat ? m_pFormat->nBlockAlign : 0;
        if (align > 0) count -= count % align;
        Raise(EVENT_DATA, partial, static_cast<DWORD>(count));
        m_bytesToHost += static_cast<DWORD>(count);
        m_hostChunker.ResetPartial();
    }
    LeaveCriticalSection(&m_lock);
}

DWORD CPlayer::FillSilence() {
    const QWORD windowStart = m_windowStart.load();
    const QWORD windowEnd = m_windowEnd.load();
    if (!m_pFormat || windowEnd == 0 || windowEnd == 0xFFFFFFFFFFFFFFFFull || windowStart >= windowEnd ||
        !EventPasses(EVENT_DATA))
        return 0;
    const QWORD windowMs = (windowEnd - windowStart) / 10000u + 1;
    const DWORD target = MsToBytes(windowMs < kSilenceLimitMs ? static_cast<DWORD>(windowMs) : kSilenceLimitMs);
    const DWORD blockBytes = m_hostBlockBytes;
    const DWORD delivered = m_bytesToHost.load();
    DWORD full = 0;
    DWORD rest = 0;
    if (target > delivered && blockBytes > 0) {
        // Whole frames of silence, so the host's data never ends in part of one.
        const DWORD align = m_pFormat->nBlockAlign;
        DWORD fill = target - delivered;
        if (align > 1) fill -= fill % align;
        full = fill / blockBytes;
        rest = fill % blockBytes;
        BYTE *zeros = static_cast<BYTE *>(std::calloc(blockBytes, 1));
        if (zeros) {
            for (DWORD i = 0; i <= full; ++i) {
                const DWORD size = i < full ? blockBytes : rest;
                if (size == 0) break;
                if (IsPaced())
                    m_pacedQueue.Enqueue(zeros, size);
                else
                    Raise(EVENT_DATA, zeros, size);
            }
            std::free(zeros);
        }
    }
    const DWORD period = g_blockPeriodMs.load();
    const DWORD waitMs = period * full + (rest > 0 ? period : 0);
    return waitMs > 100 ? waitMs : 100;
}

HRESULT CPlayer::StartPacing(DWORD periodMs) {
    const LONG speed = m_playSpeed.load();
    const double factor = speed == 0 ? 1.0 : speed * 0.01;
    const DWORD avg = m_pFormat ? m_pFormat->nAvgBytesPerSec : 0;
    const DWORD blockBytes = static_cast<DWORD>(static_cast<double>(avg * periodMs) * factor * 0.001 + 0.5);
    // Samples the reader delivered before its started status belong to the previous start.
    m_pacedQueue.Clear();
    m_pacedQueue.Configure(blockBytes, periodMs);
    m_pacedQueue.HoldPartial(TRUE);
    m_idleMs = 0;
    return m_tickThread.SetTimer(periodMs) ? S_OK : E_FAIL;
}

void CPlayer::StopPacing() {
    m_idleMs = 0;
    m_tickThread.CancelTimer();
    m_pacedQueue.Clear();
}

void CPlayer::TimeEvent(DWORD, DWORD elapsedMs, DWORD deltaMs, void *player) {
    if (!player) return;
    CPlayer *self = static_cast<CPlayer *>(player);
    const DWORD code = RunGuarded([&] {
        self->m_pacedQueue.Drain(elapsedMs, deltaMs, &CPlayer::DeliverPaced, self);
        self->OnTick();
    });
    if (code) DebugPrintf("TimeEvent, Exception: 0X%X\n", static_cast<unsigned>(code));
}

int CPlayer::DeliverPaced(DWORD elapsedMs, DWORD deltaMs, const BYTE *data, DWORD size, DWORD positionMs,
                          void *player) {
    CPlayer *self = static_cast<CPlayer *>(player);
    if (data && size > 0) {
        self->Raise(EVENT_DATA, data, size);
        return positionMs < elapsedMs ? 1 : 0;
    }
    if (self->m_state.load() != PS_ENDED) return 0;
    if ((self->m_idleMs += deltaMs) <= kIdleEndMs) return 0;
    self->StopPacing();
    if (self->m_endReported.exchange(kEndReported) != kEndReported) self->Raise(EVENT_END, nullptr, 0);
    SetEvent(self->m_hEvent);
    return 0;
}

BOOL CPlayer::WantsMoreMedia() const {
    const DWORD avg = m_pFormat ? m_pFormat->nAvgBytesPerSec : 0;
    if (avg == 0) return FALSE;
    const ULONGLONG hostMs = static_cast<ULONGLONG>(m_pacedQueue.QueuedBytes()) * 1000u / avg;
    const LONG deviceBytes = m_output.QueuedBytes();
    const ULONGLONG deviceMs = deviceBytes > 0 ? static_cast<ULONGLONG>(deviceBytes) * 1000u / avg : 0;
    return hostMs < kHostAheadMs && deviceMs < kDeviceAheadMs;
}
