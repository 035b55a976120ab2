#include "playback/StreamBase.h"

#include <cstring>

HRESULT CStreamBase::QueryInterface(REFIID riid, void **ppvObject) {
    if (!ppvObject) return E_POINTER;
    if (IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IUnknown)) {
        *ppvObject = static_cast<IStream *>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CStreamBase::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }

ULONG CStreamBase::Release() {
    const LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT CStreamBase::SetSize(ULARGE_INTEGER) { return E_NOTIMPL; }

HRESULT CStreamBase::CopyTo(IStream *, ULARGE_INTEGER, ULARGE_INTEGER *, ULARGE_INTEGER *) { return E_NOTIMPL; }

HRESULT CStreamBase::Commit(DWORD) { return E_NOTIMPL; }

HRESULT CStreamBase::Revert() { return E_NOTIMPL; }

HRESULT CStreamBase::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }

HRESULT CStreamBase::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }

HRESULT CStreamBase::Clone(IStream **) { return E_NOTIMPL; }

void CStreamBase::FillStat(STATSTG *pstatstg, ULONGLONG size) {
    std::memset(pstatstg, 0, sizeof(*pstatstg));
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = size;
}
