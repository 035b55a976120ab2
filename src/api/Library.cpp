// The reference-counted library lifecycle, the library lock and the loader entry point.
#include "api/Library.h"
#include "api/FileObjects.h"

#include <atomic>
#include <new>

#include "brivane.h"
#include "core/DebugOutput.h"
#include "core/HeldResources.h"
#include "core/LibraryLockLoan.h"

namespace {
// Counted by one host thread at a time, but read by callbacks on the library's threads.
std::atomic<LONG> g_initCount{0};
CRITICAL_SECTION *g_libraryLock = nullptr;
CInstanceTable *g_table = nullptr;
CAudioService *g_service = nullptr;
// Raised by the shutdown once it holds the library lock, until it has deleted it.
std::atomic<bool> g_shuttingDown{false};
// The last UnInitBrivane came from a host callback of an export that holds the library lock: the
// shutdown runs when that export leaves the lock.
std::atomic<bool> g_shutdownDue{false};
// The thread that holds the library lock (0: none), and how often the calling thread holds it.
std::atomic<DWORD> g_lockOwner{0};
thread_local int t_lockDepth = 0;

// How long an unload waits for a service thread the host never stopped.
const DWORD kDetachStopTimeoutMs = 5000;

void DestroyTable() {
    if (!g_table) return;
    g_table->CloseAll();
    delete g_table;
    g_table = nullptr;
}

BOOL Initialise() {
    HRESULT com = CoInitialize(nullptr);
    if (!g_libraryLock) {
        g_libraryLock = new (std::nothrow) CRITICAL_SECTION;
        if (g_libraryLock) InitializeCriticalSection(g_libraryLock);
    }
    if (g_libraryLock) EnterCriticalSection(g_libraryLock);
    if (!g_table) {
        g_table = new (std::nothrow) CInstanceTable;
        if (g_table && !g_table->IsValid()) {
            delete g_table;
            g_table = nullptr;
        }
    }
    // The library's threads run its code until the shutdown has ended them; a host's unload must
    // not unmap it before.
    const BOOL held = g_table && PlatformHoldModule();
    if (!g_service && held) g_service = new (std::nothrow) CAudioService(g_table, library::DefaultFactory());
    HANDLE thread = g_service ? g_service->Start(0) : nullptr;
    BOOL ok = SUCCEEDED(com) && thread && g_libraryLock;
    if (held && !ok) PlatformReleaseModule();
    if (g_libraryLock) LeaveCriticalSection(g_libraryLock);
    return ok;
}

// Runs with the library lock held once by the caller when lockHeld, else takes it.
void Shutdown(BOOL lockHeld) {
    if (!lockHeld) EnterCriticalSection(g_libraryLock);
    g_shuttingDown = true;
    g_shutdownDue = false;
    // The service outlives the instances: their threads raise events through it until disposed of.
    // Idle players go only once its thread has ended, as a close it is still running may park one.
    if (g_service) {
        g_service->Stop(TRUE);
        g_service->DisposeIdle();
    }
    DestroyTable();
    const BOOL held = g_service != nullptr;
    delete g_service;
    g_service = nullptr;
    library::DisposeEncoder();
    library::DisposeDecoder();
    LeaveCriticalSection(g_libraryLock);
    DeleteCriticalSection(g_libraryLock);
    delete g_libraryLock;
    g_libraryLock = nullptr;
    library::DisposeDurationProbe();
    g_shuttingDown = false;
    CoUninitialize();
    if (held) PlatformReleaseModule();
}

BOOL OnServiceThread() { return g_service && g_service->IsOwnThread(); }

// The service thread never waits for the lock outright: its holder may be a shutdown waiting for it.
BOOL AcquireLock(CRITICAL_SECTION *lock) {
    if (!OnServiceThread()) {
        EnterCriticalSection(lock);
        return TRUE;
    }
    while (!TryEnterCriticalSection(lock)) {
        if (g_shuttingDown) return FALSE;
        Sleep(1);
    }
    return TRUE;
}

// Leaves one hold of the lock; also what a fault guard's recovery runs for a hold it abandoned.
void ReleaseHeldLock(void *lock) {
    CRITICAL_SECTION *section = static_cast<CRITICAL_SECTION *>(lock);
    if (--t_lockDepth > 0) {
        LeaveCriticalSection(section);
        return;
    }
    g_lockOwner = 0;
    if (g_shutdownDue && g_initCount == 0)
        Shutdown(TRUE);
    else
        LeaveCriticalSection(section);
}
}  // namespace

namespace library {
CRITICAL_SECTION *Lock() { return g_libraryLock; }
CInstanceTable *Table() { return g_shutdownDue ? nullptr : g_table; }
CAudioService *Service() { return g_shutdownDue ? nullptr : g_service; }

BOOL LockUnavailableToCaller() {
    if (CLibraryLockLoan::HeldByThisThread()) return TRUE;
    return g_shuttingDown && OnServiceThread();
}

CRITICAL_SECTION *EnterLock() {
    CRITICAL_SECTION *lock = LockUnavailableToCaller() ? nullptr : g_libraryLock;
    if (!lock || !AcquireLock(lock)) return nullptr;
    if (t_lockDepth++ == 0) g_lockOwner = GetCurrentThreadId();
    CHeldResources::Hold(&ReleaseHeldLock, lock);
    return lock;
}

void LeaveLock(CRITICAL_SECTION *lock) {
    if (!lock) return;
    CHeldResources::Drop(&ReleaseHeldLock, lock);
    ReleaseHeldLock(lock);
}
}  // namespace library

extern "C" uint32_t BRIVANE_CALL InitBrivane(void) {
    if (g_initCount == 0) {
        // A shutdown under way cannot be undone; one left due is simply called off.
        if (g_shuttingDown) return 0;
        if (!g_shutdownDue.exchange(false) && !Initialise()) return 0;
    }
    ++g_initCount;
    return 1;
}

extern "C" void BRIVANE_CALL UnInitBrivane(void) {
    if (g_initCount <= 0) return;
    if (g_initCount > 1) {
        --g_initCount;
        return;
    }
    // The shutdown waits for the service thread, so it cannot run on that thread, nor be left to an
    // export that thread is running.
    const DWORD owner = g_lockOwner;
    const BOOL lent = owner && CLibraryLockLoan::HeldByThisThread();
    if (OnServiceThread() || (lent && g_service && owner == g_service->RunningThreadId())) {
        OutputDebugStringA("UnInitBrivane: ignored on the service thread");
        return;
    }
    g_initCount = 0;
    // From a callback of an export that holds the library lock on this thread's behalf: the shutdown
    // would free what that export still uses, so it runs once the export leaves the lock.
    if (t_lockDepth > 0 || lent) {
        g_shutdownDue = true;
        return;
    }
    Shutdown(FALSE);
}

BOOL WINAPI LibraryEntryPoint(HINSTANCE, DWORD reason, LPVOID reserved) {
    // At process exit (reserved set) the other threads are gone, maybe holding locks: touch nothing.
    if (reason == DLL_PROCESS_DETACH && !reserved && g_table) {
        // A host that never shut the library down may leave the service thread running.
        if (g_service && !g_service->StopWithin(kDetachStopTimeoutMs)) return TRUE;
        DestroyTable();
    }
    return TRUE;
}
