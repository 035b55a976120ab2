// Threads: each runs on a detached std::thread and is known by a waitable handle that is signalled,
// for good, when the start routine returns; the handle outlives the thread and vice versa.
#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

#include "HandleTable.h"
#include "KernelObject.h"
#include "ThreadMessageQueue.h"
#include "kernel32.h"

namespace posix {
namespace {

std::atomic<DWORD> s_lastThreadId{0};
thread_local DWORD t_threadId = 0;

DWORD NewThreadId() { return s_lastThreadId.fetch_add(1, std::memory_order_relaxed) + 1; }

class CThread final : public CKernelObject {
public:
    CThread(DWORD id, bool suspended) : m_id(id), m_suspendCount(suspended ? 1 : 0) {}

    DWORD Id() const { return m_id; }

    void Run(unsigned(__stdcall *start)(void *), void *arg) {
        t_threadId = m_id;
        {
            std::unique_lock<std::mutex> hold(Lock());
            m_resumed.wait(hold, [this] { return m_suspendCount == 0; });
        }
        const DWORD exitCode = start(arg);
        // The thread's queue ends with it, before anyone can see the handle signalled.
        CThreadMessageQueue::ReleaseCurrent();
        std::lock_guard<std::mutex> hold(Lock());
        m_exitCode = exitCode;
        m_finished = true;
        ReleaseWaiters(false);
    }

    DWORD Resume() {
        std::lock_guard<std::mutex> hold(Lock());
        const DWORD previous = m_suspendCount;
        if (m_suspendCount > 0 && --m_suspendCount == 0) m_resumed.notify_one();
        return previous;
    }

    DWORD ExitCode() {
        std::lock_guard<std::mutex> hold(Lock());
        return m_exitCode;
    }

    bool IsSignalled(Clock::time_point) override { return m_finished; }

private:
    const DWORD m_id;
    DWORD m_suspendCount;
    bool m_finished = false;
    DWORD m_exitCode = STILL_ACTIVE;
    std::condition_variable m_resumed;
};

// The pseudo handle of the calling thread, as Windows defines it.
HANDLE CurrentThreadHandle() { return reinterpret_cast<HANDLE>(LONG_PTR(-2)); }

}  // namespace
}  // namespace posix

uintptr_t _beginthreadex(void *, unsigned, unsigned(__stdcall *start)(void *), void *arg, unsigned initFlags,
                         unsigned *threadId) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The platform picks the stack size; the library asks only for the default.
    std::shared_ptr<posix::CThread> thread;
    HANDLE handle = nullptr;
    try {
        thread = std::make_shared<posix::CThread>(posix::NewThreadId(), (initFlags & CREATE_SUSPENDED) != 0);
        handle = posix::CHandleTable::Insert(thread);
        if (!handle) return 0;
        std::thread([thread, start, arg] { thread->Run(start, arg); }).detach();
    } catch (const std::exception &) {  // no memory, or no thread to be had
        if (handle) posix::CHandleTable::Close(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (threadId) *threadId = thread->Id();
    return reinterpret_cast<uintptr_t>(handle);
}

DWORD ResumeThread(HANDLE thread) {
    std::shared_ptr<posix::CThread> object = posix::FindObject<posix::CThread>(thread);
    return object ? object->Resume() : DWORD(-1);
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (thread == posix::CurrentThreadHandle()) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    std::shared_ptr<posix::CThread> object = posix::FindObject<posix::CThread>(thread);
    if (!object) return FALSE;
    *exitCode = object->ExitCode();
    return TRUE;
}

// One counter keeps ids unique; threads started elsewhere (main, std::thread) draw theirs lazily.
DWORD GetCurrentThreadId(void) {
    if (posix::t_threadId == 0) posix::t_threadId = posix::NewThreadId();
    return posix::t_threadId;
}

// Scheduling priorities need privileges on Linux; the library's priorities are hints.
BOOL SetThreadPriority(HANDLE thread, int) {
    return thread == posix::CurrentThreadHandle() || posix::FindObject<posix::CThread>(thread) ? TRUE : FALSE;
}

HANDLE GetCurrentThread(void) { return posix::CurrentThreadHandle(); }
