// Library-wide state shared by the exports: the library lock, the instance table and the service.
#pragma once

#include "core/AudioService.h"
#include "core/InstanceTable.h"
#include "platform/platform.h"

namespace library {

CRITICAL_SECTION *Lock();
CInstanceTable *Table();
CAudioService *Service();

// Makes the players and capture instances the service binds to new entries.
const InstanceFactory &DefaultFactory();

// TRUE when the calling thread must not wait for the library lock: a host callback on the service
// thread while the shutdown holds the lock and waits for that thread, or a callback run for an
// export that holds the lock on the thread's behalf.
BOOL LockUnavailableToCaller();

}  // namespace library

// Holds the library lock for a scope, when the lock exists.
class CLibraryLockScope {
public:
    CLibraryLockScope() : m_lock(library::LockUnavailableToCaller() ? nullptr : library::Lock()) {
        if (m_lock) EnterCriticalSection(m_lock);
    }
    ~CLibraryLockScope() {
        if (m_lock) LeaveCriticalSection(m_lock);
    }
    CLibraryLockScope(const CLibraryLockScope &) = delete;
    CLibraryLockScope &operator=(const CLibraryLockScope &) = delete;

private:
    CRITICAL_SECTION *m_lock;
};
