// Thread message queues: a registry by thread id for posters, and a thread-local owner that takes
// the queue away when its thread ends.
#include "ThreadMessageQueue.h"

#include <algorithm>
#include <new>
#include <shared_mutex>
#include <unordered_map>

namespace posix {
namespace {

class CQueueRegistry {
public:
    void Add(DWORD threadId, std::shared_ptr<CThreadMessageQueue> queue) {
        std::unique_lock<std::shared_mutex> hold(m_lock);
        m_queues[threadId] = std::move(queue);
    }

    void Remove(DWORD threadId) {
        std::unique_lock<std::shared_mutex> hold(m_lock);
        m_queues.erase(threadId);
    }

    std::shared_ptr<CThreadMessageQueue> Find(DWORD threadId) {
        std::shared_lock<std::shared_mutex> hold(m_lock);
        const auto found = m_queues.find(threadId);
        return found == m_queues.end() ? nullptr : found->second;
    }

    // Never destroyed: threads may end, and give up their queues, while the process exits.
    static CQueueRegistry &Instance() {
        static CQueueRegistry *registry = new CQueueRegistry;
        return *registry;
    }

private:
    std::shared_mutex m_lock;
    std::unordered_map<DWORD, std::shared_ptr<CThreadMessageQueue>> m_queues;
};

// Owns the calling thread's queue; its destructor ends the queue of threads we did not start.
class CQueueOwner {
public:
    ~CQueueOwner() { Release(); }

    // Null when memory runs out; the next look at the thread's messages tries again.
    std::shared_ptr<CThreadMessageQueue> Get() {
        if (!m_queue) {
            try {
                auto queue = std::make_shared<CThreadMessageQueue>();
                CQueueRegistry::Instance().Add(GetCurrentThreadId(), queue);
                m_threadId = GetCurrentThreadId();
                m_queue = std::move(queue);
            } catch (const std::bad_alloc &) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            }
        }
        return m_queue;
    }

    void Release() {
        if (m_queue) {
            CQueueRegistry::Instance().Remove(m_threadId);
            m_queue.reset();
        }
    }

private:
    std::shared_ptr<CThreadMessageQueue> m_queue;
    DWORD m_threadId = 0;
};

thread_local CQueueOwner t_owner;

bool Matches(UINT message, UINT filterMin, UINT filterMax) {
    return (filterMin == 0 && filterMax == 0) || (message >= filterMin && message <= filterMax);
}

MSG MakeMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    return msg;
}

}  // namespace

std::shared_ptr<CThreadMessageQueue> CThreadMessageQueue::OfCurrentThread() { return t_owner.Get(); }

std::shared_ptr<CThreadMessageQueue> CThreadMessageQueue::OfThread(DWORD threadId) {
    try {
        return CQueueRegistry::Instance().Find(threadId);
    } catch (const std::bad_alloc &) {
        return nullptr;  // the registry itself could not be made: no thread has a queue yet
    }
}

void CThreadMessageQueue::ReleaseCurrent() { t_owner.Release(); }

// Posts notify after unlocking, so the woken owner does not block on the lock at once.
bool CThreadMessageQueue::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        std::lock_guard<std::mutex> hold(m_lock);
        m_messages.push_back(MakeMessage(message, wParam, lParam));
    } catch (const std::bad_alloc &) {
        return false;
    }
    m_posted.notify_one();
    return true;
}

void CThreadMessageQueue::PostQuit(int exitCode) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_quit = true;
        m_quitCode = exitCode;
    }
    m_posted.notify_one();
}

bool CThreadMessageQueue::Take(MSG &msg, UINT filterMin, UINT filterMax, bool remove) {
    std::lock_guard<std::mutex> hold(m_lock);
    return TakeLocked(msg, filterMin, filterMax, remove);
}

void CThreadMessageQueue::WaitAndTake(MSG &msg, UINT filterMin, UINT filterMax) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_posted.wait(hold, [&] { return TakeLocked(msg, filterMin, filterMax, true); });
}

bool CThreadMessageQueue::TakeLocked(MSG &msg, UINT filterMin, UINT filterMax, bool remove) {
    const auto found = std::find_if(m_messages.begin(), m_messages.end(),
                                    [&](const MSG &queued) { return Matches(queued.message, filterMin, filterMax); });
    if (found != m_messages.end()) {
        msg = *found;
        if (remove) m_messages.erase(found);
        return true;
    }
    if (!m_quit) return false;
    // The quit request comes after every posted message and ignores the filter.
    msg = MakeMessage(WM_QUIT, WPARAM(m_quitCode), 0);
    if (remove) m_quit = false;
    return true;
}

}  // namespace posix

namespace {

// Thread messages carry no window; -1 asks for exactly those, as on Windows.
bool IsThreadTarget(HWND hwnd) {
    if (!hwnd || hwnd == reinterpret_cast<HWND>(LONG_PTR(-1))) return true;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
}

}  // namespace

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<posix::CThreadMessageQueue> queue = posix::CThreadMessageQueue::OfThread(threadId);
    if (!queue) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    if (!queue->Post(message, wParam, lParam)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsThreadTarget(hwnd)) return FALSE;
    const std::shared_ptr<posix::CThreadMessageQueue> queue = posix::CThreadMessageQueue::OfCurrentThread();
    return queue && queue->Take(*msg, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0);
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!IsThreadTarget(hwnd)) return -1;
    const std::shared_ptr<posix::CThreadMessageQueue> queue = posix::CThreadMessageQueue::OfCurrentThread();
    if (!queue) return -1;
    queue->WaitAndTake(*msg, filterMin, filterMax);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

// There are no windows: nothing to translate, and no window procedure to dispatch to.
BOOL TranslateMessage(const MSG *) { return FALSE; }

LRESULT DispatchMessageA(const MSG *) { return 0; }

void PostQuitMessage(int exitCode) {
    if (const std::shared_ptr<posix::CThreadMessageQueue> queue = posix::CThreadMessageQueue::OfCurrentThread())
        queue->PostQuit(exitCode);
}
