// Waitable timers without a timer thread: the state is brought up to date whenever it is looked at,
// and a waiter sleeps no longer than the next expiry of the timers it waits on.
#include <algorithm>
#include <memory>
#include <new>

#include "HandleTable.h"
#include "KernelObject.h"
#include "kernel32.h"

namespace posix {
namespace {

using Ticks = std::chrono::duration<LONGLONG, std::ratio<1, 10000000>>;

// 100 ns ticks from 1601-01-01 (the absolute due-time epoch) to 1970-01-01.
constexpr LONGLONG kUnixEpochTicks = 116444736000000000LL;
// Longer delays are capped so the due time stays representable; a century is never reached.
constexpr LONGLONG kLongestDelay = 100LL * 366 * 24 * 3600 * 10000000;

class CWaitableTimer final : public CKernelObject {
public:
    explicit CWaitableTimer(bool manualReset) : m_manualReset(manualReset) {}

    void Arm(Clock::time_point due, Clock::duration period) {
        std::lock_guard<std::mutex> hold(Lock());
        m_signalled = false;
        m_armed = true;
        m_due = due;
        m_period = period;
        WakeWaiters();
    }

    void Cancel() {
        std::lock_guard<std::mutex> hold(Lock());
        Expire(Clock::now());
        m_armed = false;
    }

    bool IsSignalled(Clock::time_point now) override {
        Expire(now);
        return m_signalled;
    }

    void Acquire() override {
        if (!m_manualReset) m_signalled = false;
    }

    bool NextExpiry(Clock::time_point &when) const override {
        when = m_due;
        return m_armed;
    }

private:
    void Expire(Clock::time_point now) {
        if (!m_armed || now < m_due) return;
        m_signalled = true;
        if (m_period == Clock::duration::zero()) {
            m_armed = false;
            return;
        }
        // Periods that passed while nobody looked collapse into this one expiry.
        m_due += m_period * ((now - m_due) / m_period + 1);
    }

    const bool m_manualReset;
    bool m_signalled = false;
    bool m_armed = false;
    Clock::time_point m_due;
    Clock::duration m_period{};
};

Clock::time_point DueTime(LONGLONG due, Clock::time_point now) {
    LONGLONG delay = 0;
    if (due < 0) {
        delay = due < -kLongestDelay ? kLongestDelay : -due;
    } else {
        const LONGLONG wallNow =
            std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch()).count() +
            kUnixEpochTicks;
        if (due > wallNow) delay = std::min(due - wallNow, kLongestDelay);
    }
    return now + std::chrono::duration_cast<Clock::duration>(Ticks(delay));
}

HANDLE CreateTimer(BOOL manualReset, bool named) {
    if (named) {
        // Named objects are shared between processes on Windows; nothing here could share them.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    try {
        return CHandleTable::Insert(std::make_shared<CWaitableTimer>(manualReset != FALSE));
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

}  // namespace
}  // namespace posix

HANDLE CreateWaitableTimerA(LPSECURITY_ATTRIBUTES, BOOL manualReset, LPCSTR name) {
    return posix::CreateTimer(manualReset, name != nullptr);
}

HANDLE CreateWaitableTimerW(LPSECURITY_ATTRIBUTES, BOOL manualReset, LPCWSTR name) {
    return posix::CreateTimer(manualReset, name != nullptr);
}

// Completion routines run only in alertable waits, which this platform lacks: they never run.
BOOL SetWaitableTimer(HANDLE timer, const LARGE_INTEGER *dueTime, LONG periodMs, PTIMERAPCROUTINE, LPVOID, BOOL) {
    std::shared_ptr<posix::CWaitableTimer> object = posix::FindObject<posix::CWaitableTimer>(timer);
    if (!object) return FALSE;
    if (!dueTime || periodMs < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const posix::Clock::time_point now = posix::Clock::now();
    object->Arm(posix::DueTime(dueTime->QuadPart, now), std::chrono::milliseconds(periodMs));
    return TRUE;
}

BOOL CancelWaitableTimer(HANDLE timer) {
    std::shared_ptr<posix::CWaitableTimer> object = posix::FindObject<posix::CWaitableTimer>(timer);
    if (!object) return FALSE;
    object->Cancel();
    return TRUE;
}
