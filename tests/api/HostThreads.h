// Hosts' threads and locks: std's on Linux, thin kernel wrappers on Windows, as mingw's win32 model lacks std::thread.
#pragma once

#include <mutex>

#ifdef _WIN32
#include <windows.h>

#include <functional>
#include <memory>

class HostMutex {
public:
    HostMutex() { InitializeCriticalSection(&m_section); }
    ~HostMutex() { DeleteCriticalSection(&m_section); }
    HostMutex(const HostMutex &) = delete;
    HostMutex &operator=(const HostMutex &) = delete;
    void lock() { EnterCriticalSection(&m_section); }
    void unlock() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

// Runs a function on a thread of its own; join waits for it.
class HostThread {
public:
    template <class Function>
    explicit HostThread(Function run) {
        auto *body = new std::function<void()>(std::move(run));
        m_handle = CreateThread(nullptr, 0, &Enter, body, 0, nullptr);
        if (!m_handle) delete body;
    }
    HostThread(const HostThread &) = delete;
    ~HostThread() { join(); }
    void join() {
        if (!m_handle) return;
        WaitForSingleObject(m_handle, INFINITE);
        CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    static DWORD WINAPI Enter(void *body) {
        std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()> *>(body));
        (*run)();
        return 0;
    }
    HANDLE m_handle = nullptr;
};

using HostThreadId = DWORD;
inline HostThreadId CurrentHostThread() { return GetCurrentThreadId(); }

#else
#include <thread>

using HostMutex = std::mutex;
using HostThread = std::thread;
using HostThreadId = std::thread::id;
inline HostThreadId CurrentHostThread() { return std::this_thread::get_id(); }
#endif
