#include "playback/FileStream.h"

#include "core/ComSupport.h"

CFileStream::~CFileStream() { CloseFile(); }

void CFileStream::CloseFile() {
    if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

HRESULT CFileStream::Open(LPCWSTR path) {
    CloseFile();
    m_hFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) return HResultFromLastError();
    if (GetFileType(m_hFile) != FILE_TYPE_DISK) {
        CloseFile();
        return E_FAIL;
    }
    SetLastError(NO_ERROR);
    DWORD high = 0;
    const DWORD low = GetFileSize(m_hFile, &high);
    const BOOL sized = low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR;
    m_openSize = sized ? (static_cast<ULONGLONG>(high) << 32) | low : 0;
    return S_OK;
}

HRESULT CFileStream::Read(void *pv, ULONG cb, ULONG *pcbRead) {
    if (m_hFile == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    DWORD read = 0;
    const BOOL ok = ReadFile(m_hFile, pv, cb, &read, nullptr);
    if (pcbRead) *pcbRead = read;
    if (!ok) return HResultFromLastError();
    // Nothing left before the size the file had when opened: it was cut short while in use.
    if (read == 0 && cb > 0 && IsCutShort()) return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    return S_OK;
}

BOOL CFileStream::IsCutShort() const {
    SetLastError(NO_ERROR);
    const DWORD position = SetFilePointer(m_hFile, 0, nullptr, FILE_CURRENT);
    if (position == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return FALSE;
    return position < m_openSize;
}

HRESULT CFileStream::Write(const void *pv, ULONG cb, ULONG *pcbWritten) {
    if (m_hFile == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    DWORD written = 0;
    const BOOL ok = WriteFile(m_hFile, pv, cb, &written, nullptr);
    if (pcbWritten) *pcbWritten = written;
    return ok ? S_OK : HResultFromLastError();
}

HRESULT CFileStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER *plibNewPosition) {
    if (m_hFile == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    static const DWORD kMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    if (dwOrigin > STREAM_SEEK_END) return E_INVALIDARG;
    const LONG distance = static_cast<LONG>(static_cast<DWORD>(dlibMove.QuadPart));
    SetLastError(NO_ERROR);
    const DWORD position = SetFilePointer(m_hFile, distance, nullptr, kMethods[dwOrigin]);
    // All bits set is a real position when the last error stayed 0.
    if (position == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return HResultFromLastError();
    if (plibNewPosition) plibNewPosition->QuadPart = position;
    return S_OK;
}

HRESULT CFileStream::Stat(STATSTG *pstatstg, DWORD grfStatFlag) {
    if (!pstatstg || grfStatFlag != STATFLAG_NONAME) return E_INVALIDARG;
    if (m_hFile == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
    SetLastError(NO_ERROR);
    DWORD high = 0;
    const DWORD low = GetFileSize(m_hFile, &high);
    // A size whose low part has all bits set is real when the last error stayed 0.
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return HResultFromLastError();
    FillStat(pstatstg, (static_cast<ULONGLONG>(high) << 32) | low);
    return S_OK;
}
