// The open exports' common part: an entry reserved under the library and table locks, its open record
// made and filled, and the open command posted; a handle, or 0 when the library is not initialised,
// the table is full or memory runs out.
#pragma once

#include <cstdlib>

#include "api/Library.h"

// fill(void *record) writes the bytes of the record; post(CAudioService *, WORD handle) sets the
// callback and posts the open command once the table lock is let go.
template <class Fill, class Post>
uint32_t OpenEntry(size_t recordBytes, DWORD recordSize, Fill fill, Post post) {
    CLibraryLockScope scope;
    CInstanceTable *table = library::Table();
    CAudioService *service = library::Service();
    if (!library::Lock() || !table || !service) return 0;
    table->Lock();
    InstanceEntry *entry = table->AllocEntry();
    void *record = entry ? std::malloc(recordBytes) : nullptr;
    if (!record) {
        if (entry) table->ClearEntry(entry);
        table->Unlock();
        return 0;
    }
    fill(record);
    entry->openParams = record;
    entry->openParamsSize = recordSize;
    const WORD handle = entry->handle;
    table->Unlock();
    post(service, handle);
    return handle;
}
