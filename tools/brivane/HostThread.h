// The little the CLI needs of the host OS: the calling thread's id and a sleep.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
inline uint64_t CurrentThreadId() { return GetCurrentThreadId(); }
inline void SleepMs(unsigned ms) { Sleep(ms); }
#else
#include <pthread.h>
#include <time.h>
inline uint64_t CurrentThreadId() { return static_cast<uint64_t>(pthread_self()); }
inline void SleepMs(unsigned ms) {
    timespec delay{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&delay, nullptr);
}
#endif
