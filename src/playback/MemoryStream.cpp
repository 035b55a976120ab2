#include "playback/MemoryStream.h"

#include <algorithm>

#include "core/FaultGuard.h"

namespace {

// What a read at the end of the image reports, as a file read past its end would.
const HRESULT kEndOfImage = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);

}  // namespace

CMemoryStream::~CMemoryStream() { Detach(); }

HRESULT CMemoryStream::Attach(void *image, DWORD size, DWORD ownsImage, ImageGuard *guard) {
    Detach();
    m_pImage = static_cast<BYTE *>(image);
    m_size = size;
    m_ownsImage = ownsImage;
    m_pGuard = guard;
    m_position = 0;
    return S_OK;
}

void CMemoryStream::Detach() {
    if (m_pImage && m_ownsImage) HeapFree(GetProcessHeap(), 0, m_pImage);
    // Fully unattached, so later accesses are refused rather than served from a stale position.
    m_pImage = nullptr;
    m_size = 0;
    m_position = 0;
    m_ownsImage = 0;
}

BOOL CMemoryStream::IsCutOff() const { return m_pGuard && m_pGuard->closing.load() != 0; }

BOOL CMemoryStream::EnterImage() { return !m_pGuard || m_pGuard->Enter(); }

void CMemoryStream::LeaveImage() {
    if (m_pGuard) m_pGuard->Leave();
}

HRESULT CMemoryStream::Read(void *pv, ULONG cb, ULONG *pcbRead) {
    if (!m_pImage || !pv || !EnterImage()) return E_UNEXPECTED;
    const DWORD n = std::min<DWORD>(cb, m_size - m_position);
    const BOOL copied = CopyGuarded(pv, m_pImage + m_position, n);
    LeaveImage();
    if (!copied) return HRESULT_FROM_WIN32(ERROR_NOACCESS);
    m_position += n;
    if (pcbRead) *pcbRead = n;
    return n > 0 ? S_OK : kEndOfImage;
}

HRESULT CMemoryStream::Write(const void *pv, ULONG cb, ULONG *pcbWritten) {
    if (!m_pImage || !pv || !EnterImage()) return E_UNEXPECTED;
    const DWORD n = std::min<DWORD>(cb, m_size - m_position);
    const BOOL copied = CopyGuarded(m_pImage + m_position, pv, n);
    LeaveImage();
    if (!copied) return HRESULT_FROM_WIN32(ERROR_NOACCESS);
    m_position += n;
    if (pcbWritten) *pcbWritten = n;
    return S_OK;
}

HRESULT CMemoryStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER *plibNewPosition) {
    if (!m_pImage || IsCutOff()) return E_UNEXPECTED;
    const DWORD distance = static_cast<DWORD>(dlibMove.QuadPart);
    DWORD position;
    switch (dwOrigin) {
    case STREAM_SEEK_SET: position = std::min(distance, m_size); break;
    case STREAM_SEEK_CUR:
        // Wrap-around lets a negative offset move backwards.
        position = m_position + distance;
        if (position > m_size) {
            if (m_position == m_size) return E_INVALIDARG;
            position = m_size;
        }
        break;
    case STREAM_SEEK_END:
        if (distance >= m_size) return E_INVALIDARG;
        position = m_size - distance;
        break;
    default: return E_INVALIDARG;
    }
    m_position = position;
    if (plibNewPosition) plibNewPosition->QuadPart = position;
    return S_OK;
}

HRESULT CMemoryStream::Stat(STATSTG *pstatstg, DWORD grfStatFlag) {
    if (!pstatstg || grfStatFlag != STATFLAG_NONAME) return E_INVALIDARG;
    if (!m_pImage || IsCutOff()) return E_UNEXPECTED;
    FillStat(pstatstg, m_size);
    return S_OK;
}
