// Holds a critical section from construction to the end of the scope, on every path out of it.
#pragma once

#include "platform/platform.h"

class CLockScope {
public:
    explicit CLockScope(CRITICAL_SECTION *lock) : m_lock(lock) { EnterCriticalSection(m_lock); }
    ~CLockScope() { LeaveCriticalSection(m_lock); }
    CLockScope(const CLockScope &) = delete;
    CLockScope &operator=(const CLockScope &) = delete;

private:
    CRITICAL_SECTION *m_lock;
};
