// A player's host feed: decoded PCM cut into data blocks of one block period, raised at once or
// queued and released by the tick thread at play pace, and the reader's user clock that the tick
// thread lets run on as the media is taken.
#pragma once

#include <atomic>

#include "core/MsgThread.h"
#include "platform/platform.h"
#include "playback/PacedQueue.h"
#include "stretch/BlockChunker.h"

// What the host feed asks of the player that owns it.
class IHostFeedOwner {
public:
    // Under the owner's lock: FALSE while the playback is torn down.
    virtual BOOL IsActive() = 0;
    // Whether the host takes data events at all.
    virtual BOOL TakesData() = 0;
    // Raises one data event.
    virtual void RaiseData(const BYTE *data, DWORD size) = 0;
    // On the tick thread, when the paced queue is empty: whether the end is due once it stays empty.
    virtual BOOL HasEnded() = 0;
    // On the tick thread after the drain, once the paced queue stayed empty after the end; the owner
    // stops the pacing if the end is still due.
    virtual void OnPacedEnd() = 0;
    // On the tick thread after each drain.
    virtual void OnTick() = 0;

protected:
    ~IHostFeedOwner() = default;
};

class CHostFeed {
public:
    // lock is the owner's: the clock's reference is taken under it, while the owner is active.
    CHostFeed(IHostFeedOwner *owner, CRITICAL_SECTION *lock);
    CHostFeed(const CHostFeed &) = delete;
    CHostFeed &operator=(const CHostFeed &) = delete;

    // The block period shared by all players, set by every event sink.
    static void SetBlockPeriod(DWORD ms);
    static DWORD BlockPeriod();

    BOOL StartTicks() { return m_tickThread.Start(0) != nullptr; }
    // Stops the tick thread, waiting for it, so that it can be started again.
    void StopTicks();

    // Blocks of that size rounded up to whole frames; nothing changes for a size of 0.
    void SetBlockSize(DWORD bytes, DWORD align);
    DWORD BlockBytes() const { return m_blockBytes; }
    // Forgets the block size and the partial block; under the owner's lock.
    void ForgetBlocks();

    // Paced, the PCM is queued for the tick thread; otherwise its whole blocks are raised now and the
    // rest waits for the next PCM.
    void Hand(const BYTE *data, DWORD bytes, BOOL paced);
    // Raises the partial block left at the end of the stream in whole frames; under the owner's lock,
    // while the playback is active.
    void DeliverRemainder(DWORD align);
    // Silence up to target bytes of data for this start, in blocks; how long they take to play, at least 100 ms.
    DWORD FillSilence(DWORD target, DWORD align, BOOL paced);
    DWORD BytesToHost() const { return m_bytesToHost.load(); }
    void ResetBytesToHost() { m_bytesToHost = 0; }

    // Paced blocks of blockBytes every periodMs from now; what was queued before is dropped.
    HRESULT StartPacing(DWORD blockBytes, DWORD periodMs);
    // Stops the timer and drops the queue.
    void StopPacing();
    void PausePacing() { m_tickThread.CancelTimer(); }
    // Position 0, and the timer again when paced.
    void ResumePacing(BOOL paced, DWORD periodMs);
    // The stream has ended: the partial block goes out as the queue runs dry.
    void EndOfStream() { m_queue.HoldPartial(FALSE); }
    void DropQueued() { m_queue.Clear(); }
    DWORD QueuedBytes() const { return m_queue.QueuedBytes(); }

    // The reader's user-clock interface, with the feed's reference; none without a user clock.
    BOOL IsClocked() const { return m_clock.load() != nullptr; }
    void SetClock(IWMReaderAdvanced *clock) { m_clock = clock; }
    IWMReaderAdvanced *TakeClock() { return m_clock.exchange(nullptr); }
    // A start's first grant: the clock runs to start plus two seconds.
    void ResetClock(QWORD start);
    HRESULT GrantFirst();
    // The reader has reached the clock and waits for more time.
    void ClockReached() { m_clockReached = TRUE; }
    BOOL IsClockReached() const { return m_clockReached.load(); }
    // The clock's next step once the reader has reached the last one; the reader's result.
    HRESULT ExtendClock();

private:
    // The clock interface with a reference of the caller's, or none while the playback is torn down.
    IWMReaderAdvanced *HoldClock();
    static void TimeEvent(DWORD id, DWORD elapsedMs, DWORD deltaMs, void *feed);
    static int DeliverPaced(DWORD elapsedMs, DWORD deltaMs, const BYTE *data, DWORD size, DWORD positionMs, void *feed);

    IHostFeedOwner *m_owner;
    CRITICAL_SECTION *m_lock;
    std::atomic<DWORD> m_bytesToHost{0};
    CPacedQueue m_queue;
    CBlockChunker m_chunker;
    DWORD m_blockBytes = 0;
    std::atomic<DWORD> m_idleMs{0};
    // Set by a drain that found the end due, taken by the tick right after it.
    std::atomic<BOOL> m_endDue{FALSE};
    CTickThread m_tickThread;
    std::atomic<IWMReaderAdvanced *> m_clock{nullptr};
    std::atomic<QWORD> m_userClock{0};
    QWORD m_clockStep = 10000000;
    std::atomic<BOOL> m_clockReached{FALSE};
};
