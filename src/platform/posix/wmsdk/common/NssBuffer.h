// A sample buffer on the heap: fixed capacity, a settable length, freed with its last reference.
// Object and bytes are one allocation.
#pragma once

#include "platform/NssBufferCore.h"

namespace posix {

class CNssBuffer final : public CNssBufferCore<E_INVALIDARG> {
public:
    // A buffer of the given capacity and length 0 with one reference; null when memory is short.
    static CNssBuffer *Create(DWORD capacity);

    BYTE *Data() { return m_data; }
    DWORD Capacity() const { return m_capacity; }
    // True while a holder other than the caller still has a reference; once false, every other
    // holder's use of the bytes has happened before, so the caller may write them again.
    bool Shared() const { return References() > 1; }

private:
    // Made in memory of its own size, so not freed by delete.
    void OnFinalRelease() override;
    explicit CNssBuffer(DWORD capacity) : CNssBufferCore(reinterpret_cast<BYTE *>(this + 1), capacity) {}
    ~CNssBuffer() override = default;
};

}  // namespace posix
