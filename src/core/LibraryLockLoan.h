// Lends the library lock to a thread that runs a host callback for an export holding that lock (the
// PCM callback of a decode runs on the reader's thread while the caller waits), so that exports the
// callback calls do not wait for a lock that is only released once the callback returns.
#pragma once

#include "platform/platform.h"

class CLibraryLockLoan {
public:
    CLibraryLockLoan();
    ~CLibraryLockLoan();
    CLibraryLockLoan(const CLibraryLockLoan &) = delete;
    CLibraryLockLoan &operator=(const CLibraryLockLoan &) = delete;

    static BOOL HeldByThisThread();
};
