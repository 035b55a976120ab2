// The byte-stream objects a player hands the media reader: shared reference counting, interface
// lookup and refusal of the stream operations no source supports.
#pragma once

#include "platform/platform.h"

class CStreamBase : public CComObject<IStream> {
public:
    CStreamBase() = default;

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
    ~CStreamBase() override = default;

    // A zero-filled record for a stream of the given size, as both sources report it.
    static void FillStat(STATSTG *pstatstg, ULONGLONG size);

private:
    void *FindInterface(REFIID riid) override;
};
