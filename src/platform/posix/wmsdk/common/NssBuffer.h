// A sample buffer on the heap: fixed capacity, a settable length, freed with its last reference.
// Object and bytes are one allocation.
#pragma once

#include <atomic>

#include "wmsdk.h"

namespace posix {

class CNssBuffer final : public INSSBuffer {
public:
    // A buffer of the given capacity and length 0 with one reference; null when memory is short.
    static CNssBuffer *Create(DWORD capacity);

    BYTE *Data() { return reinterpret_cast<BYTE *>(this + 1); }
    DWORD Capacity() const { return m_capacity; }
    // True while a holder other than the caller still has a reference; once false, every other
    // holder's use of the bytes has happened before, so the caller may write them again.
    bool Shared() const { return m_references.load(std::memory_order_acquire) > 1; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetLength(DWORD *length) override;
    HRESULT STDMETHODCALLTYPE SetLength(DWORD length) override;
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD *length) override;
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE **buffer) override;
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE **buffer, DWORD *length) override;

private:
    explicit CNssBuffer(DWORD capacity) : m_capacity(capacity) {}
    ~CNssBuffer() = default;

    std::atomic<ULONG> m_references{1};
    const DWORD m_capacity;
    DWORD m_length = 0;
};

}  // namespace posix
