// Waitable kernel objects: the lock, signal state and waiter list every waitable handle shares, and
// the per-thread waiter that the wait functions park on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "windows_types.h"

namespace posix {

using Clock = std::chrono::steady_clock;

// One waiting thread; a signaller may satisfy its wait at once, so a later reset cannot undo it.
class CWaiter {
public:
    static CWaiter &Current();

    // Satisfies a wait-for-any through the object at index; false when another object already did.
    bool Claim(DWORD index);
    void Wake();
    // Starts a new look at the objects: returns the claimed index (or -1) and forgets old wakes.
    int TakeClaim();
    void Sleep(const Clock::time_point *until);

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_woken = false;
    int m_claimed = -1;
};

class CKernelObject {
public:
    virtual ~CKernelObject() = default;

    std::mutex &Lock() { return m_lock; }

    // The members below run with Lock() held.
    virtual bool IsSignalled(Clock::time_point now) = 0;
    // What a satisfied wait does to the object: auto-reset objects become non-signalled.
    virtual void Acquire() {}
    // When the object will signal by itself (timers); false when it will not.
    virtual bool NextExpiry(Clock::time_point & /*when*/) const { return false; }

    void AddWaiter(CWaiter *waiter, DWORD index, bool waitAll);
    void RemoveWaiter(CWaiter *waiter);

protected:
    // Satisfies waiters for any one object (only the first when once) and wakes waiters for all.
    bool ReleaseWaiters(bool once);
    // Makes every waiter look again, for changes that are not a signal (a timer re-armed).
    void WakeWaiters();

private:
    struct WaitLink {
        CWaiter *waiter;
        DWORD index;
        bool waitAll;
    };

    std::mutex m_lock;
    std::vector<WaitLink> m_waiters;
};

}  // namespace posix
