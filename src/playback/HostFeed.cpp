// The host feed: data blocks raised straight away on the reader's clock or released at play pace by
// the tick thread, the silence that fills a play window, and the user clock's grants.
#include "playback/HostFeed.h"

#include <cstdlib>

#include "core/DebugOutput.h"
#include "core/FaultGuard.h"
#include "core/LockScope.h"

namespace {

// The host data block period, shared by all players and set by every event sink.
std::atomic<DWORD> g_blockPeriodMs{50};

const DWORD kTickThreadId = 898;
const DWORD kIdleEndMs = 10;
// The user clock starts this far ahead of the start; each later step adds m_clockStep.
const QWORD kFirstGrant = 20000000;

}  // namespace

CHostFeed::CHostFeed(IHostFeedOwner *owner, CRITICAL_SECTION *lock) : m_owner(owner), m_lock(lock) {
    m_tickThread.SetTickCallback(kTickThreadId, &CHostFeed::TimeEvent, this);
}

void CHostFeed::SetBlockPeriod(DWORD ms) { g_blockPeriodMs = ms; }

DWORD CHostFeed::BlockPeriod() { return g_blockPeriodMs.load(); }

void CHostFeed::StopTicks() {
    m_tickThread.Stop(TRUE);
    m_tickThread.ResetStop();
}

void CHostFeed::SetBlockSize(DWORD bytes, DWORD align) {
    if (align > 0) bytes = (bytes + align - 1) / align * align;
    if (bytes == 0) return;
    m_blockBytes = bytes;
    m_chunker.SetBlockSize(static_cast<LONG>(bytes));
}

void CHostFeed::ForgetBlocks() {
    m_chunker.ResetPartial();
    m_blockBytes = 0;
}

void CHostFeed::Hand(const BYTE *data, DWORD bytes, BOOL paced) {
    if (paced) {
        m_queue.Enqueue(data, bytes);
        m_bytesToHost += bytes;
        return;
    }
    if (!data || bytes == 0 || !m_owner->TakesData()) return;
    m_chunker.SetInput(data, static_cast<LONG>(bytes));
    LONG length = 0;
    while (const BYTE *block = m_chunker.Next(&length)) {
        m_owner->RaiseData(block, static_cast<DWORD>(length));
        m_bytesToHost += static_cast<DWORD>(length);
    }
    m_chunker.ClearInput();
}

void CHostFeed::DeliverRemainder(DWORD align) {
    LONG count = 0;
    const BYTE *partial = m_chunker.TakePartial(&count);
    if (!partial || count <= 0) return;
    if (align > 0) count -= count % static_cast<LONG>(align);
    m_owner->RaiseData(partial, static_cast<DWORD>(count));
    m_bytesToHost += static_cast<DWORD>(count);
    m_chunker.ResetPartial();
}

DWORD CHostFeed::FillSilence(DWORD target, DWORD align, BOOL paced) {
    const DWORD blockBytes = m_blockBytes;
    const DWORD delivered = m_bytesToHost.load();
    DWORD full = 0;
    DWORD rest = 0;
    if (target > delivered && blockBytes > 0) {
        // Whole frames of silence, so the host's data never ends in part of one.
        DWORD fill = target - delivered;
        if (align > 1) fill -= fill % align;
        full = fill / blockBytes;
        rest = fill % blockBytes;
        BYTE *zeros = static_cast<BYTE *>(std::calloc(blockBytes, 1));
        if (zeros) {
            for (DWORD i = 0; i <= full; ++i) {
                const DWORD size = i < full ? blockBytes : rest;
                if (size == 0) break;
                if (paced)
                    m_queue.Enqueue(zeros, size);
                else
                    m_owner->RaiseData(zeros, size);
            }
            std::free(zeros);
        }
    }
    const DWORD period = g_blockPeriodMs.load();
    const DWORD waitMs = period * full + (rest > 0 ? period : 0);
    return waitMs > 100 ? waitMs : 100;
}

HRESULT CHostFeed::StartPacing(DWORD blockBytes, DWORD periodMs) {
    // Samples the reader delivered before its started status belong to the previous start.
    m_queue.Clear();
    m_queue.Configure(blockBytes, periodMs);
    m_queue.HoldPartial(TRUE);
    m_idleMs = 0;
    return m_tickThread.SetTimer(periodMs) ? S_OK : E_FAIL;
}

void CHostFeed::StopPacing() {
    m_idleMs = 0;
    m_tickThread.CancelTimer();
    m_queue.Clear();
}

void CHostFeed::ResumePacing(BOOL paced, DWORD periodMs) {
    m_queue.ResetPosition();
    if (paced) m_tickThread.SetTimer(periodMs);
}

void CHostFeed::TimeEvent(DWORD, DWORD elapsedMs, DWORD deltaMs, void *feed) {
    if (!feed) return;
    CHostFeed *self = static_cast<CHostFeed *>(feed);
    const DWORD code = RunGuarded([&] {
        self->m_queue.Drain(elapsedMs, deltaMs, &CHostFeed::DeliverPaced, self);
        // Outside the queue lock, since the owner takes its own lock to end the playback.
        if (self->m_endDue.exchange(FALSE)) self->m_owner->OnPacedEnd();
        self->m_owner->OnTick();
    });
    if (code) DebugPrintf("TimeEvent, Exception: 0X%X\n", static_cast<unsigned>(code));
}

int CHostFeed::DeliverPaced(DWORD elapsedMs, DWORD deltaMs, const BYTE *data, DWORD size, DWORD positionMs,
                            void *feed) {
    CHostFeed *self = static_cast<CHostFeed *>(feed);
    if (data && size > 0) {
        self->m_owner->RaiseData(data, size);
        return positionMs < elapsedMs ? 1 : 0;
    }
    if (!self->m_owner->HasEnded()) return 0;
    if ((self->m_idleMs += deltaMs) <= kIdleEndMs) return 0;
    self->m_endDue = TRUE;
    return 0;
}

void CHostFeed::ResetClock(QWORD start) {
    m_userClock = start + kFirstGrant;
    m_clockReached = FALSE;
}

HRESULT CHostFeed::GrantFirst() {
    IWMReaderAdvanced *clock = m_clock.load();
    return clock ? clock->DeliverTime(m_userClock.load()) : S_OK;
}

IWMReaderAdvanced *CHostFeed::HoldClock() {
    CLockScope lock(m_lock);
    IWMReaderAdvanced *clock = m_owner->IsActive() ? m_clock.load() : nullptr;
    if (clock) clock->AddRef();
    return clock;
}

HRESULT CHostFeed::ExtendClock() {
    BOOL reached = TRUE;
    if (!m_clockReached.compare_exchange_strong(reached, FALSE)) return S_OK;
    IWMReaderAdvanced *clock = HoldClock();
    if (!clock) return S_OK;
    const HRESULT hr = clock->DeliverTime(m_userClock += m_clockStep);
    clock->Release();
    return hr;
}
