#include "core/MsgThread.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/DebugOutput.h"
#include "core/FaultGuard.h"
#include "core/LockScope.h"

CMsgThread::CMsgThread() {
    m_pQueueLock = new (std::nothrow) CRITICAL_SECTION;
    if (m_pQueueLock) InitializeCriticalSection(m_pQueueLock);
    m_hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_hTimer = CreateWaitableTimerA(nullptr, FALSE, nullptr);
}

CMsgThread::~CMsgThread() {
    if (m_pQueueLock) {
        DeleteCriticalSection(m_pQueueLock);
        delete m_pQueueLock;
    }
    if (m_hThread && m_bOwnsHandle) CloseHandle(m_hThread);
    if (m_hTimer) CloseHandle(m_hTimer);
    if (m_hEvent) CloseHandle(m_hEvent);
    for (int i = 0; i < m_queue.Count(); ++i) FreeOwnedData(m_queue[i]);
}

BOOL CMsgThread::SetTimer(DWORD periodMs) {
    if (!m_hTimer) return FALSE;
    LARGE_INTEGER due;
    due.QuadPart = 0;  // an absolute time in the past: the first expiry is immediate
    return SetWaitableTimer(m_hTimer, &due, static_cast<LONG>(periodMs), nullptr, nullptr, FALSE);
}

BOOL CMsgThread::CancelTimer() { return m_hTimer ? CancelWaitableTimer(m_hTimer) : FALSE; }

BOOL CMsgThread::OnInit() { return m_pQueueLock && m_hEvent && m_hTimer ? TRUE : FALSE; }

DWORD CMsgThread::OnExit() {
    CancelTimer();
    if (m_pQueueLock) EnterCriticalSection(m_pQueueLock);
    for (int i = 0; i < m_queue.Count(); ++i) FreeOwnedData(m_queue[i]);
    m_queue.Clear();
    m_bStop = 1;
    if (m_pQueueLock) LeaveCriticalSection(m_pQueueLock);
    return 0;
}

void CMsgThread::OnTimer() {}

void CMsgThread::OnPostRefused(const ThreadMessage &) {}

HANDLE CMsgThread::Start(unsigned creationFlags) {
    if (m_bRunning.load() && m_hThread) return m_hThread;
    // Without its lock, event or timer (no memory when constructed) the thread could serve nothing.
    if (!m_pQueueLock || !m_hEvent || !m_hTimer) return nullptr;
    if (m_hThread) {
        if (m_bOwnsHandle) CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    unsigned id = 0;
    m_hThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CMsgThread::ThreadProc, this, creationFlags, &id));
    if (m_hThread) m_threadId = id;
    return m_hThread;
}

DWORD CMsgThread::Stop(BOOL wait) {
    StopWithin(wait ? INFINITE : 0);
    return 0;
}

BOOL CMsgThread::StopWithin(DWORD timeoutMs) {
    m_bStop = 1;
    if (m_hEvent) SetEvent(m_hEvent);
    // A thread cannot wait for its own end.
    if (timeoutMs == 0 || !m_hThread || IsOwnThread()) return TRUE;
    return WaitForSingleObject(m_hThread, timeoutMs) == WAIT_OBJECT_0;
}

void CMsgThread::ResetStop() { m_bStop = 0; }

BOOL CMsgThread::IsOwnThread() const { return m_bRunning.load() && m_threadId.load() == GetCurrentThreadId(); }

int CMsgThread::Post(DWORD msg, DWORD param1, BOOL signal, void *data, DWORD param2, DWORD ownsData) {
    if (!m_pQueueLock || m_bStop.load()) return 0;
    const ThreadMessage message{msg, param1, param2, data, ownsData};
    {
        CLockScope lock(m_pQueueLock);
        if (m_bStop.load()) return 0;
        if (m_queue.Append(message)) {
            if (signal) SetEvent(m_hEvent);
            return m_queue.Count() - 1;
        }
    }
    OnPostRefused(message);
    FreeOwnedData(message);
    return 0;
}

unsigned __stdcall CMsgThread::ThreadProc(void *self) {
    CMsgThread *thread = static_cast<CMsgThread *>(self);
    DWORD exitCode = static_cast<DWORD>(-1);
    thread->m_threadId = GetCurrentThreadId();
    thread->m_bRunning = 1;
    DWORD fault = RunGuarded([&] {
        if (thread->OnInit()) thread->RunLoop();
        exitCode = thread->OnExit();
    });
    if (fault) {
        thread->m_bStop = 1;
        char text[64];
        snprintf(text, sizeof text, "ThreadProc, Exception: 0X%X", static_cast<unsigned>(fault));
        MessageBoxA(nullptr, text, nullptr, MB_OK);
        exitCode = static_cast<DWORD>(-1);
    }
    thread->m_bRunning = 0;
    return exitCode;
}

BOOL CMsgThread::TakeMessage(ThreadMessage *out) {
    CLockScope lock(m_pQueueLock);
    if (m_queue.Count() == 0) return FALSE;
    *out = m_queue[0];
    m_queue.RemoveAt(0);
    return TRUE;
}

int CMsgThread::RunLoop() {
    if (!m_hEvent) return -1;
    HANDLE waitSet[2] = {m_hEvent, m_hTimer};
    DWORD waitCount = m_hTimer ? 2 : 1;
    while (!m_bStop.load()) {
        DWORD result = WaitForMultipleObjects(waitCount, waitSet, FALSE, INFINITE);
        if (m_bStop.load()) return 0;
        if (result == WAIT_OBJECT_0) {
            ThreadMessage message;
            BOOL taken;
            do {
                taken = TakeMessage(&message);
                if (taken && !m_bStop.load() && ThreadNotification(message) == -1) m_bStop = 1;
                if (taken) FreeOwnedData(message);
                if (m_bStop.load()) return 0;
            } while (taken);
        } else if (result == WAIT_OBJECT_0 + 1) {
            ThreadTimer();
        }
    }
    return 0;
}

int CMsgThread::ThreadNotification(const ThreadMessage &message) {
    int result = -1;
    DWORD fault = RunGuarded([&] { result = OnNotification(message); });
    if (fault) {
        DebugPrintf("ThreadNotification, Exception: 0X%X, 0X%X, %d", static_cast<unsigned>(fault),
                    static_cast<unsigned>(message.msg >> 16), static_cast<int>(message.msg & 0xFFFF));
        return -1;
    }
    return result;
}

int CMsgThread::ThreadTimer() {
    DWORD fault = RunGuarded([&] { OnTimer(); });
    if (fault) DebugPrintf("ThreadTimer, Exception: 0X%X", static_cast<unsigned>(fault));
    return 0;
}

void CMsgThread::FreeOwnedData(const ThreadMessage &message) {
    if (message.ownsData) std::free(message.data);
}

namespace {
uint64_t PackTimes(DWORD start, DWORD last) { return (uint64_t(start ? start : 1) << 32) | last; }
}  // namespace

// The times are stored before the timer is armed: its first expiry is immediate and may reach
// OnTimer on the tick thread before SetTimer returns.
BOOL CTickThread::SetTimer(DWORD periodMs) {
    const DWORD now = timeGetTime();
    const uint64_t previous = m_times.exchange(PackTimes(now, now));
    BOOL armed = CMsgThread::SetTimer(periodMs);
    if (!armed) m_times = previous;
    return armed;
}

BOOL CTickThread::CancelTimer() {
    BOOL cancelled = CMsgThread::CancelTimer();
    if (cancelled) m_times = 0;
    return cancelled;
}

int CTickThread::OnNotification(const ThreadMessage &) { return 0; }

void CTickThread::OnTimer() {
    const DWORD now = timeGetTime();
    uint64_t times = m_times.load();
    do {
        if (!times) return;
    } while (!m_times.compare_exchange_weak(times, PackTimes(DWORD(times >> 32), now)));
    TickCallback callback = m_pfnTick.load();
    if (callback) callback(m_nTickId.load(), now - DWORD(times >> 32), now - DWORD(times), m_pTickUser.load());
}

void CTickThread::SetTickCallback(DWORD id, TickCallback callback, void *user) {
    m_nTickId = id;
    m_pfnTick = callback;
    m_pTickUser = user;
}
