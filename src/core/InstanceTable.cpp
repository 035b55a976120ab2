#include "core/InstanceTable.h"

#include <cstdlib>
#include <new>

#include "core/HeldResources.h"

namespace {
// Library-wide and never reset, so handles keep growing across library restarts.
WORD g_handleCounter = 0;
}  // namespace

CInstanceTable::CInstanceTable() : m_entries(new (std::nothrow) InstanceEntry[kEntries]()) {
    InitializeCriticalSection(&m_lock);
}

CInstanceTable::~CInstanceTable() {
    for (int i = 0; m_entries && i < kEntries; ++i) std::free(m_entries[i].openParams);
    delete[] m_entries;
    DeleteCriticalSection(&m_lock);
}

void CInstanceTable::Lock() {
    EnterCriticalSection(&m_lock);
    CHeldResources::Hold(&CInstanceTable::ReleaseLock, this);
}

void CInstanceTable::Unlock() {
    CHeldResources::Drop(&CInstanceTable::ReleaseLock, this);
    LeaveCriticalSection(&m_lock);
}

void CInstanceTable::ReleaseLock(void *table) { LeaveCriticalSection(&static_cast<CInstanceTable *>(table)->m_lock); }

BOOL CInstanceTable::HandleInUse(WORD handle) const {
    for (int i = 0; i < kEntries; ++i)
        if (m_entries[i].handle == handle) return TRUE;
    return FALSE;
}

InstanceEntry *CInstanceTable::AllocEntry() {
    if (!m_entries) return nullptr;
    for (int i = 0; i < kEntries; ++i) {
        InstanceEntry &entry = m_entries[i];
        if (entry.handle != 0) continue;
        // After the counter wraps, skip 0 and every handle still open.
        do {
            ++g_handleCounter;
        } while (g_handleCounter == 0 || HandleInUse(g_handleCounter));
        entry.handle = g_handleCounter;
        entry.object = nullptr;
        entry.kind = KIND_UNBOUND;
        entry.image.closing = 0;
        return &entry;
    }
    return nullptr;
}

InstanceEntry *CInstanceTable::FindEntry(WORD handle) {
    for (int i = 0; m_entries && i < kEntries; ++i)
        if (m_entries[i].handle == handle) return &m_entries[i];
    return nullptr;
}

InstanceEntry *CInstanceTable::FindClosing() {
    for (int i = 0; m_entries && i < kEntries; ++i)
        if (m_entries[i].handle != 0 && m_entries[i].image.closing.load()) return &m_entries[i];
    return nullptr;
}

void CInstanceTable::ClearEntry(InstanceEntry *entry) {
    entry->handle = 0;
    entry->object = nullptr;
    entry->kind = KIND_UNBOUND;
    std::free(entry->openParams);
    entry->openParams = nullptr;
    entry->openParamsSize = 0;
}

void CInstanceTable::DisposePlayer(IPlayerCommands *player) {
    player->ClosePlayback();
    player->Shutdown();
    player->Destroy();
}

void CInstanceTable::DisposeRecorder(ICaptureCommands *recorder) {
    recorder->Stop();
    recorder->Close();
    recorder->Destroy();
}

void CInstanceTable::CloseAll() {
    CTableLock lock(this);
    for (int i = 0; m_entries && i < kEntries; ++i) {
        InstanceEntry &entry = m_entries[i];
        if (entry.handle == 0) continue;
        if (IPlayerCommands *player = entry.Player()) DisposePlayer(player);
        if (ICaptureCommands *recorder = entry.Recorder()) DisposeRecorder(recorder);
        ClearEntry(&entry);
    }
}
