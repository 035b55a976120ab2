// Library-wide state shared by the exports: the library lock, the instance table and the service.
#pragma once

#include "core/AudioService.h"
#include "core/InstanceTable.h"
#include "platform/platform.h"

namespace library {

CRITICAL_SECTION *Lock();
// The table and the service while the library is initialised; none while a shutdown is due.
CInstanceTable *Table();
CAudioService *Service();

// Makes the players and capture instances the service binds to new entries.
const InstanceFactory &DefaultFactory();

// Takes the library lock for the calling thread and returns it; none when it does not exist or the
// caller must not wait for it (see LockUnavailableToCaller), or when the service thread gives way
// to a shutdown that holds it.
CRITICAL_SECTION *EnterLock();
// Leaves what EnterLock took; the outermost leave runs a shutdown a host callback left due.
void LeaveLock(CRITICAL_SECTION *lock);

// TRUE when the calling thread must not wait for the library lock: a host callback on the service
// thread while the shutdown holds the lock and waits for that thread, or a callback run for an
// export that holds the lock on the thread's behalf.
BOOL LockUnavailableToCaller();

}  // namespace library

// Holds the library lock for a scope, when the lock exists.
class CLibraryLockScope {
public:
    CLibraryLockScope() : m_lock(library::EnterLock()) {}
    ~CLibraryLockScope() { library::LeaveLock(m_lock); }
    CLibraryLockScope(const CLibraryLockScope &) = delete;
    CLibraryLockScope &operator=(const CLibraryLockScope &) = delete;

private:
    CRITICAL_SECTION *m_lock;
};
