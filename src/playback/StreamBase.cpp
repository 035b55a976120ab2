#include "playback/StreamBase.h"

#include <cstring>

void *CStreamBase::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IUnknown))
        return static_cast<IStream *>(this);
    return nullptr;
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
