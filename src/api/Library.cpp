// The reference-counted library lifecycle and the loader entry point.
#include "api/Library.h"
#include "api/FileObjects.h"

#include <atomic>
#include <new>

#include "brivane.h"
#include "core/DebugOutput.h"
#include "core/LibraryLockLoan.h"

namespace {
LONG g_initCount = 0;
CRITICAL_SECTION *g_libraryLock = nullptr;
CInstanceTable *g_table = nullptr;
CAudioService *g_service = nullptr;
std::atomic<bool> g_shuttingDown{false};

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
    if (!g_service && g_table) g_service = new (std::nothrow) CAudioService(g_table, library::DefaultFactory());
    HANDLE thread = g_service ? g_service->Start(0) : nullptr;
    BOOL ok = SUCCEEDED(com) && thread && g_libraryLock;
    if (g_libraryLock) LeaveCriticalSection(g_libraryLock);
    return ok;
}

void Shutdown() {
    g_shuttingDown = true;
    EnterCriticalSection(g_libraryLock);
    // The service outlives the instances: their threads raise events through it until disposed of.
    // Idle players go only once its thread has ended, as a close it is still running may park one.
    if (g_service) {
        g_service->Stop(TRUE);
        g_service->DisposeIdle();
    }
    DestroyTable();
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
}
}  // namespace

namespace library {
CRITICAL_SECTION *Lock() { return g_libraryLock; }
CInstanceTable *Table() { return g_table; }
CAudioService *Service() { return g_service; }

BOOL LockUnavailableToCaller() {
    if (CLibraryLockLoan::HeldByThisThread()) return TRUE;
    return g_shuttingDown && g_service && g_service->IsOwnThread();
}
}  // namespace library

extern "C" uint32_t BRIVANE_CALL InitBrivane(void) {
    if (g_initCount == 0 && !Initialise()) return 0;
    ++g_initCount;
    return 1;
}

extern "C" void BRIVANE_CALL UnInitBrivane(void) {
    if (g_initCount <= 0) return;
    // The shutdown waits for the service thread, so it cannot run on that thread.
    if (g_initCount == 1 && g_service && g_service->IsOwnThread()) {
        OutputDebugStringA("UnInitBrivane: ignored on the service thread");
        return;
    }
    if (--g_initCount == 0) Shutdown();
}

BOOL WINAPI LibraryEntryPoint(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH && g_table) {
        // A host that never shut the library down may leave the service thread running.
        if (g_service && !g_service->StopWithin(kDetachStopTimeoutMs)) return TRUE;
        DestroyTable();
    }
    return TRUE;
}
