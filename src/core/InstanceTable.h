// The fixed table of open instances, named by 16-bit handles from one library-wide counter.
#pragma once

#include <atomic>

#include "core/InstanceInterfaces.h"
#include "platform/platform.h"

enum : BYTE { KIND_UNBOUND = 0, KIND_PLAYER = 1, KIND_RECORDER = 2 };

struct InstanceEntry {
    WORD handle;  // 0 marks a free slot
    BYTE kind;
    ImageGuard image;  // closing is set once by the close exports; a player's memory source reads under it
    void *object;
    void *openParams;  // heap copy of the open arguments, freed with the entry
    DWORD openParamsSize;

    IPlayerCommands *Player() const { return kind == KIND_PLAYER ? static_cast<IPlayerCommands *>(object) : nullptr; }
    ICaptureCommands *Recorder() const {
        return kind == KIND_RECORDER ? static_cast<ICaptureCommands *>(object) : nullptr;
    }
};

class CInstanceTable {
public:
    static const int kEntries = 100;

    CInstanceTable();
    ~CInstanceTable();
    CInstanceTable(const CInstanceTable &) = delete;
    CInstanceTable &operator=(const CInstanceTable &) = delete;

    BOOL IsValid() const { return m_entries != nullptr; }
    void Lock();
    void Unlock();

    // The caller holds the lock for these three.
    InstanceEntry *AllocEntry();
    InstanceEntry *FindEntry(WORD handle);
    void ClearEntry(InstanceEntry *entry);
    // A live entry a close export has marked, or null.
    InstanceEntry *FindClosing();

    // Disposes of every live instance without notifying the host; the table is empty afterwards.
    void CloseAll();

    static void DisposePlayer(IPlayerCommands *player);
    static void DisposeRecorder(ICaptureCommands *recorder);

private:
    BOOL HandleInUse(WORD handle) const;
    static void ReleaseLock(void *table);

    InstanceEntry *m_entries;
    CRITICAL_SECTION m_lock;
};

// Sets the scope's lock for its lifetime.
class CTableLock {
public:
    explicit CTableLock(CInstanceTable *table) : m_table(table) { m_table->Lock(); }
    ~CTableLock() { Release(); }
    CTableLock(const CTableLock &) = delete;
    CTableLock &operator=(const CTableLock &) = delete;
    void Release() {
        if (m_table) m_table->Unlock();
        m_table = nullptr;
    }

private:
    CInstanceTable *m_table;
};
