// The wait functions. A waiter locks all its objects at once (in address order) to decide, so the
// lowest signalled index wins and a wait for all consumes all together, without a global lock.
#include "KernelObject.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <new>

#include "HandleTable.h"
#include "kernel32.h"

namespace posix {

CWaiter &CWaiter::Current() {
    static thread_local CWaiter waiter;
    return waiter;
}

// Notifying after unlocking spares the woken thread a block; the caller's object lock keeps it.
bool CWaiter::Claim(DWORD index) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_claimed >= 0) return false;
        m_claimed = int(index);
        m_woken = true;
    }
    m_wake.notify_one();
    return true;
}

void CWaiter::Wake() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_woken = true;
    }
    m_wake.notify_one();
}

int CWaiter::TakeClaim() {
    std::lock_guard<std::mutex> hold(m_lock);
    const int claimed = m_claimed;
    m_claimed = -1;
    m_woken = false;
    return claimed;
}

void CWaiter::Sleep(const Clock::time_point *until) {
    std::unique_lock<std::mutex> hold(m_lock);
    if (until)
        m_wake.wait_until(hold, *until, [this] { return m_woken; });
    else
        m_wake.wait(hold, [this] { return m_woken; });
}

void CKernelObject::AddWaiter(CWaiter *waiter, DWORD index, bool waitAll) {
    m_waiters.push_back({waiter, index, waitAll});
}

void CKernelObject::RemoveWaiter(CWaiter *waiter) {
    m_waiters.erase(std::remove_if(m_waiters.begin(), m_waiters.end(),
                                   [waiter](const WaitLink &link) { return link.waiter == waiter; }),
                    m_waiters.end());
}

bool CKernelObject::ReleaseWaiters(bool once) {
    bool satisfied = false;
    for (const WaitLink &link : m_waiters) {
        if (link.waitAll) {
            link.waiter->Wake();
        } else if (link.waiter->Claim(link.index)) {
            satisfied = true;
            if (once) break;
        }
    }
    return satisfied;
}

void CKernelObject::WakeWaiters() {
    for (const WaitLink &link : m_waiters) link.waiter->Wake();
}

namespace {

// The objects' locks, distinct and in address order so that overlapping waits cannot deadlock.
class CLockSet {
public:
    CLockSet(const std::shared_ptr<CKernelObject> *objects, DWORD count) {
        for (DWORD i = 0; i < count; ++i) m_locks[i] = &objects[i]->Lock();
        std::sort(m_locks, m_locks + count, std::less<std::mutex *>());
        m_count = DWORD(std::unique(m_locks, m_locks + count) - m_locks);
    }
    DWORD Count() const { return m_count; }
    void LockAll() {
        for (DWORD i = 0; i < m_count; ++i) m_locks[i]->lock();
    }
    void UnlockAll() {
        for (DWORD i = m_count; i > 0; --i) m_locks[i - 1]->unlock();
    }

private:
    std::mutex *m_locks[MAXIMUM_WAIT_OBJECTS];
    DWORD m_count = 0;
};

// Decides the wait with every lock held: the result, or WAIT_TIMEOUT when nothing is satisfied.
DWORD Satisfy(const std::shared_ptr<CKernelObject> *objects, DWORD count, bool waitAll, Clock::time_point now) {
    if (!waitAll) {
        for (DWORD i = 0; i < count; ++i) {
            if (objects[i]->IsSignalled(now)) {
                objects[i]->Acquire();
                return WAIT_OBJECT_0 + i;
            }
        }
        return WAIT_TIMEOUT;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (!objects[i]->IsSignalled(now)) return WAIT_TIMEOUT;
    }
    for (DWORD i = 0; i < count; ++i) objects[i]->Acquire();
    return WAIT_OBJECT_0;
}

// Links the waiter to every object; false, with none linked, when memory runs out.
bool Register(const std::shared_ptr<CKernelObject> *objects, DWORD count, CWaiter &self, bool waitAll) {
    DWORD added = 0;
    try {
        for (; added < count; ++added) objects[added]->AddWaiter(&self, added, waitAll);
        return true;
    } catch (const std::bad_alloc &) {
        for (DWORD i = 0; i < added; ++i) objects[i]->RemoveWaiter(&self);
        return false;
    }
}

DWORD Wait(const std::shared_ptr<CKernelObject> *objects, DWORD count, bool waitAll, DWORD milliseconds) {
    CLockSet locks(objects, count);
    if (waitAll && locks.Count() != count) {
        // One object twice can never be acquired twice at once.
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    const bool limited = milliseconds != INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    CWaiter &self = CWaiter::Current();
    bool registered = false;
    for (;;) {
        locks.LockAll();
        const int claimed = self.TakeClaim();
        const Clock::time_point now = Clock::now();
        DWORD result = claimed >= 0 ? WAIT_OBJECT_0 + DWORD(claimed) : Satisfy(objects, count, waitAll, now);
        if (result != WAIT_TIMEOUT || (limited && now >= deadline)) {
            if (registered) {
                for (DWORD i = 0; i < count; ++i) objects[i]->RemoveWaiter(&self);
            }
            locks.UnlockAll();
            return result;
        }
        if (!registered) registered = Register(objects, count, self, waitAll);
        // Timers signal by themselves: sleep no longer than the earliest expiry. A waiter that
        // could not be linked for want of memory is woken by nothing, so it looks again soon.
        bool timed = limited;
        Clock::time_point until = deadline;
        if (!registered) {
            const Clock::time_point soon = now + std::chrono::milliseconds(1);
            if (!timed || soon < until) until = soon;
            timed = true;
        }
        for (DWORD i = 0; i < count; ++i) {
            Clock::time_point expiry;
            if (objects[i]->NextExpiry(expiry) && (!timed || expiry < until)) {
                until = expiry;
                timed = true;
            }
        }
        locks.UnlockAll();
        self.Sleep(timed ? &until : nullptr);
    }
}

}  // namespace
}  // namespace posix

DWORD WaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::shared_ptr<posix::CKernelObject> objects[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        objects[i] = posix::CHandleTable::Find(handles[i]);
        if (!objects[i]) return WAIT_FAILED;
    }
    return posix::Wait(objects, count, waitAll != FALSE, milliseconds);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}
