// IUnknown for the layer's COM objects: a thread-safe count that starts at 1 and destroys the object
// when it reaches 0, and QueryInterface answering with whatever interface the object's FindInterface
// names for the identifier (IUnknown included).
#pragma once

#include <atomic>

#include "wmsdk.h"

template <class... Interfaces>
class CComObject : public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) final
    {
        if (!object)
            return E_POINTER;
        *object = FindInterface(riid);
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() final { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG STDMETHODCALLTYPE Release() final
    {
        const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            Destroy();
        return left;
    }

protected:
    CComObject() = default;
    virtual ~CComObject() = default;
    CComObject(const CComObject &) = delete;
    CComObject &operator=(const CComObject &) = delete;

    // The interface pointer riid names, or null.
    virtual void *FindInterface(REFIID riid) = 0;
    // An object made in memory of its own size goes back to it another way.
    virtual void Destroy() { delete this; }
    ULONG References() const { return m_references.load(std::memory_order_acquire); }

private:
    std::atomic<ULONG> m_references{1};
};
