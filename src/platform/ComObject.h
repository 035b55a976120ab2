// IUnknown for every COM object of the library and the platform layer: a thread-safe count that
// starts at 1 (the creator's reference) and destroys the object when it reaches 0, and QueryInterface
// answering with whatever interface the object's FindInterface names for the identifier.
#pragma once

#include <atomic>

// Only IUnknown is needed: from the SDK on Windows, from our own declarations elsewhere.
#ifdef _WIN32
#include "win32/win32_platform.h"
#else
#include "posix/sdk/unknwn.h"
#endif

// The SDK's interfaces have no virtual destructor: COM objects are released, never deleted through them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <class... Interfaces>
class CComObject : public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override {
        if (!object) return E_POINTER;
        *object = FindInterface(riid);
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() final { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) OnFinalRelease();
        return left;
    }

protected:
    CComObject() = default;
    virtual ~CComObject() = default;
    CComObject(const CComObject &) = delete;
    CComObject &operator=(const CComObject &) = delete;

    // The interface pointer riid names, or null.
    virtual void *FindInterface(REFIID riid) = 0;
    // What the last Release does; an object made in memory of its own size, or one its creator
    // destroys, does something else. Not named Destroy: the instance interfaces' Destroy releases.
    virtual void OnFinalRelease() { delete this; }
    ULONG References() const { return m_references.load(std::memory_order_acquire); }

private:
    std::atomic<ULONG> m_references{1};
};
#pragma GCC diagnostic pop
