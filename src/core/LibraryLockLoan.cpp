#include "core/LibraryLockLoan.h"

namespace {
thread_local int t_loans = 0;
}  // namespace

CLibraryLockLoan::CLibraryLockLoan() { ++t_loans; }

CLibraryLockLoan::~CLibraryLockLoan() { --t_loans; }

BOOL CLibraryLockLoan::HeldByThisThread() { return t_loans > 0; }
