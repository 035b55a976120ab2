// Critical sections: a recursive mutex living in the caller's CRITICAL_SECTION storage.
#include <mutex>
#include <new>

#include "kernel32.h"

namespace {

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque) &&
                  alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION),
              "the mutex must fit the storage the Windows layout gives a critical section");

std::recursive_mutex &MutexOf(LPCRITICAL_SECTION cs) {
    return *std::launder(reinterpret_cast<std::recursive_mutex *>(cs->opaque));
}

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION cs) { new (cs->opaque) std::recursive_mutex; }

// Spinning first pays off only on Windows' kernel-wait path; the mutex already spins briefly.
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD) {
    InitializeCriticalSection(cs);
    return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) { MutexOf(cs).lock(); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) { return MutexOf(cs).try_lock() ? TRUE : FALSE; }

void LeaveCriticalSection(LPCRITICAL_SECTION cs) { MutexOf(cs).unlock(); }

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    using Mutex = std::recursive_mutex;
    MutexOf(cs).~Mutex();
}
