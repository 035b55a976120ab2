// A thread's posted-message queue: created by the thread's first look at its messages, destroyed
// when the thread ends, and reachable from other threads by thread id in between.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "kernel32.h"
#include "user32.h"

namespace posix {

class CThreadMessageQueue {
public:
    // The calling thread's queue, created on first use; null when memory runs out.
    static std::shared_ptr<CThreadMessageQueue> OfCurrentThread();
    // The queue of a thread, or null when that thread has none.
    static std::shared_ptr<CThreadMessageQueue> OfThread(DWORD threadId);
    // Ends the calling thread's queue; later posts to the thread fail.
    static void ReleaseCurrent();

    // False when memory runs out.
    bool Post(UINT message, WPARAM wParam, LPARAM lParam);
    void PostQuit(int exitCode);
    // The first message in the filter range (0, 0: all), else the quit request, which ignores it.
    bool Take(MSG &msg, UINT filterMin, UINT filterMax, bool remove);
    void WaitAndTake(MSG &msg, UINT filterMin, UINT filterMax);

private:
    bool TakeLocked(MSG &msg, UINT filterMin, UINT filterMax, bool remove);

    std::mutex m_lock;
    std::condition_variable m_posted;
    std::deque<MSG> m_messages;
    bool m_quit = false;
    int m_quitCode = 0;
};

}  // namespace posix
