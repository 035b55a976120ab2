// The little the CLI needs of the host OS: the calling thread's id, a sleep and a lock (mingw's
// win32 thread model has no std::mutex).
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
inline uint64_t CurrentThreadId() { return GetCurrentThreadId(); }
inline void SleepMs(unsigned ms) { Sleep(ms); }

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
#else
#include <pthread.h>
#include <time.h>
inline uint64_t CurrentThreadId() { return static_cast<uint64_t>(pthread_self()); }
inline void SleepMs(unsigned ms) {
    timespec delay{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&delay, nullptr);
}

class HostMutex {
public:
    HostMutex() = default;
    ~HostMutex() { pthread_mutex_destroy(&m_mutex); }
    HostMutex(const HostMutex &) = delete;
    HostMutex &operator=(const HostMutex &) = delete;
    void lock() { pthread_mutex_lock(&m_mutex); }
    void unlock() { pthread_mutex_unlock(&m_mutex); }

private:
    pthread_mutex_t m_mutex = PTHREAD_MUTEX_INITIALIZER;
};
#endif

// Holds a HostMutex for a scope.
class HostLockScope {
public:
    explicit HostLockScope(HostMutex &mutex) : m_mutex(mutex) { m_mutex.lock(); }
    ~HostLockScope() { m_mutex.unlock(); }
    HostLockScope(const HostLockScope &) = delete;
    HostLockScope &operator=(const HostLockScope &) = delete;

private:
    HostMutex &m_mutex;
};
