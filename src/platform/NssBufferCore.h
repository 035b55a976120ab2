// The INSSBuffer both systems' sample buffers are built on: a length within the capacity of a byte
// block that the derived buffer owns. kNoPointer is what a getter answers when given no out pointer.
#pragma once

#include "ComObject.h"

#ifdef _WIN32
#include "win32/win32_platform.h"
#else
#include "posix/sdk/wmsbuffer.h"
#endif

template <HRESULT kNoPointer>
class CNssBufferCore : public CComObject<INSSBuffer> {
public:
    HRESULT STDMETHODCALLTYPE GetLength(DWORD *length) final {
        if (!length) return kNoPointer;
        *length = m_length;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLength(DWORD length) final {
        if (length > m_capacity) return E_INVALIDARG;
        m_length = length;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD *length) final {
        if (!length) return kNoPointer;
        *length = m_capacity;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE **buffer) final {
        if (!buffer) return kNoPointer;
        *buffer = m_data;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE **buffer, DWORD *length) final {
        if (!buffer || !length) return kNoPointer;
        *buffer = m_data;
        *length = m_length;
        return S_OK;
    }

protected:
    CNssBufferCore(BYTE *data, DWORD capacity) : m_data(data), m_capacity(capacity) {}

    void *FindInterface(REFIID riid) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_INSSBuffer)) return static_cast<INSSBuffer *>(this);
        return nullptr;
    }

    BYTE *m_data;
    DWORD m_length = 0;
    DWORD m_capacity;
};
