// The byte-stream objects a player hands the media reader: shared reference counting, interface
// lookup and refusal of the stream operations no source supports.
#pragma once

#include "platform/platform.h"

// COM objects are released, never deleted through their interfaces, which have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CStreamBase : public IStream {
public:
    CStreamBase() = default;
    CStreamBase(const CStreamBase &) = delete;
    CStreamBase &operator=(const CStreamBase &) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream *pstm, ULARGE_INTEGER cb, ULARGE_INTEGER *pcbRead,
                                     ULARGE_INTEGER *pcbWritten) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream **ppstm) override;

protected:
    // Destroyed only by the last Release.
    virtual ~CStreamBase() = default;

    // A zero-filled record for a stream of the given size, as both sources report it.
    static void FillStat(STATSTG *pstatstg, ULONGLONG size);

private:
    LONG m_refCount = 1;
};
#pragma GCC diagnostic pop
