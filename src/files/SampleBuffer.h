// The library's media sample buffer: a reference-counted heap block with a length and a capacity,
// standalone or lent out by a sample pool, to which it returns when its borrower lets go.
#pragma once

#include "platform/platform.h"

class CSamplePool;

// COM objects are released, never deleted through their interfaces, which have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CSampleBuffer final : public INSSBuffer {
public:
    // pool: the pool that keeps the buffer while it is idle, or null for a standalone buffer.
    explicit CSampleBuffer(CSamplePool *pool);
    CSampleBuffer(const CSampleBuffer &) = delete;
    CSampleBuffer &operator=(const CSampleBuffer &) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    // Destroys the buffer at 0; at 1 a pooled buffer goes back to its pool.
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetLength(DWORD *pdwLength) override;
    HRESULT STDMETHODCALLTYPE SetLength(DWORD dwLength) override;
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD *pdwLength) override;
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE **ppdwBuffer) override;
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE **ppdwBuffer, DWORD *pdwLength) override;

    // Resizes the block, keeping the bytes up to the smaller size; a failure changes nothing.
    HRESULT SetCapacity(DWORD size);

private:
    friend class CSamplePool;
    ~CSampleBuffer();

    CSamplePool *const m_pPool;
    LONG m_refCount = 1;
    BYTE *m_pData = nullptr;
    DWORD m_length = 0;
    DWORD m_capacity = 0;
    CSampleBuffer *m_pNextIdle = nullptr;  // the pool's free-list link, used only under its lock
};
#pragma GCC diagnostic pop
