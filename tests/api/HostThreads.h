// The threads, locks and waits the suite's hosts use: the standard ones on Linux, and on Windows thin
// classes over the kernel's, because mingw's win32 thread model has no std::thread, std::mutex or
// std::condition_variable. std::lock_guard and std::unique_lock work with both.
#pragma once

#include <chrono>
#include <mutex>

#ifdef _WIN32
#include <windows.h>

#include <functional>
#include <memory>
#include <utility>

class HostMutex {
public:
    HostMutex() { InitializeCriticalSection(&m_section); }
    ~HostMutex() { DeleteCriticalSection(&m_section); }
    HostMutex(const HostMutex &) = delete;
    HostMutex &operator=(const HostMutex &) = delete;
    void lock() { EnterCriticalSection(&m_section); }
    void unlock() { LeaveCriticalSection(&m_section); }
    CRITICAL_SECTION *Native() { return &m_section; }

private:
    CRITICAL_SECTION m_section;
};

class HostCondition {
public:
    void notify_all() { WakeAllConditionVariable(&m_condition); }
    template <class Rep, class Period, class Predicate>
    bool wait_for(std::unique_lock<HostMutex> &lock, std::chrono::duration<Rep, Period> timeout, Predicate done) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return done();
            SleepConditionVariableCS(&m_condition, lock.mutex()->Native(), static_cast<DWORD>(left.count()) + 1);
        }
        return true;
    }

private:
    CONDITION_VARIABLE m_condition = CONDITION_VARIABLE_INIT;
};

// Runs a function on a thread of its own; join waits for it.
class HostThread {
public:
    HostThread() = default;
    template <class Function>
    explicit HostThread(Function run) {
        auto *body = new std::function<void()>(std::move(run));
        m_handle = CreateThread(nullptr, 0, &Enter, body, 0, nullptr);
        if (!m_handle) delete body;
    }
    HostThread(HostThread &&other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
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
#include <condition_variable>
#include <thread>

using HostMutex = std::mutex;
using HostCondition = std::condition_variable;
using HostThread = std::thread;
using HostThreadId = std::thread::id;
inline HostThreadId CurrentHostThread() { return std::this_thread::get_id(); }
#endif
