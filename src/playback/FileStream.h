// A media source over a disk file, read through the platform's file handles.
#pragma once

#include "playback/StreamBase.h"

class CFileStream : public CStreamBase {
public:
    CFileStream() = default;

    // Opens the file for reading, shared with other readers; anything but a disk file is refused.
    HRESULT Open(LPCWSTR path);

    HRESULT STDMETHODCALLTYPE Read(void *pv, ULONG cb, ULONG *pcbRead) override;
    // The handle is read-only, so this reports the platform's refusal.
    HRESULT STDMETHODCALLTYPE Write(const void *pv, ULONG cb, ULONG *pcbWritten) override;
    // Moves by the offset's low 32 bits as a signed distance.
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER *plibNewPosition) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG *pstatstg, DWORD grfStatFlag) override;

protected:
    ~CFileStream() override;

private:
    void CloseFile();
    // The position lies before the size the file had when opened.
    BOOL IsCutShort() const;

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    ULONGLONG m_openSize = 0;
};
