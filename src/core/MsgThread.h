// A worker thread with a FIFO of small messages, a wake-up event and a periodic timer.
#pragma once

#include <atomic>

#include "core/DynArray.h"
#include "platform/platform.h"

struct ThreadMessage {
    DWORD msg;  // command code << 16 | instance handle
    DWORD param1;
    DWORD param2;
    void *data;
    DWORD ownsData;  // non-zero: the queue frees data once the message is handled or discarded
};

class CMsgThread {
public:
    CMsgThread();
    virtual ~CMsgThread();
    CMsgThread(const CMsgThread &) = delete;
    CMsgThread &operator=(const CMsgThread &) = delete;

    virtual BOOL SetTimer(DWORD periodMs);
    virtual BOOL CancelTimer();
    virtual BOOL OnInit();
    virtual DWORD OnExit();
    virtual int OnNotification(const ThreadMessage &message) = 0;
    virtual void OnTimer();
    // Runs on the posting thread when a message found no memory to be queued in; it is then
    // discarded (its owned data freed).
    virtual void OnPostRefused(const ThreadMessage &message);

    HANDLE Start(unsigned creationFlags);
    DWORD Stop(BOOL wait);
    // Stops with a bounded wait; returns FALSE when the thread did not end in time.
    BOOL StopWithin(DWORD timeoutMs);
    void ResetStop();
    int Post(DWORD msg, DWORD param1, BOOL signal, void *data, DWORD param2, DWORD ownsData);

    BOOL IsStopping() const { return m_bStop.load() != 0; }
    BOOL IsRunning() const { return m_bRunning.load() != 0; }
    BOOL IsOwnThread() const;
    // Id of the running thread, 0 when none runs.
    DWORD RunningThreadId() const { return m_bRunning.load() ? m_threadId.load() : 0; }
    HANDLE ThreadHandle() const { return m_hThread; }

private:
    static unsigned __stdcall ThreadProc(void *self);
    int RunLoop();
    int ThreadNotification(const ThreadMessage &message);
    int ThreadTimer();
    BOOL TakeMessage(ThreadMessage *out);
    static void FreeOwnedData(const ThreadMessage &message);

    HANDLE m_hThread = nullptr;
    BOOL m_bOwnsHandle = TRUE;
    std::atomic<LONG> m_bRunning{0};
    std::atomic<LONG> m_bStop{0};
    HANDLE m_hEvent = nullptr;
    HANDLE m_hTimer = nullptr;
    CDynArray<ThreadMessage> m_queue;
    CRITICAL_SECTION *m_pQueueLock = nullptr;
    std::atomic<DWORD> m_threadId{0};
};

// Calls a plain callback from its timer with the milliseconds since the timer was armed and since
// the previous tick; ignores queued messages.
typedef void (*TickCallback)(DWORD id, DWORD sinceStartMs, DWORD sinceLastMs, void *user);

class CTickThread : public CMsgThread {
public:
    BOOL SetTimer(DWORD periodMs) override;
    BOOL CancelTimer() override;
    int OnNotification(const ThreadMessage &message) override;
    void OnTimer() override;
    void SetTickCallback(DWORD id, TickCallback callback, void *user);

private:
    std::atomic<DWORD> m_nTickId{0};
    // The start in the high half and the last tick in the low half, changed together; 0 while no
    // timer is armed, so a tick already on its way when the timer is cancelled finds nothing to time.
    std::atomic<uint64_t> m_times{0};
    std::atomic<TickCallback> m_pfnTick{nullptr};
    std::atomic<void *> m_pTickUser{nullptr};
};
