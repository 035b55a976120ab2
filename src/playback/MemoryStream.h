// A media source over a memory image, cut off for good once its instance starts closing.
#pragma once

#include <atomic>

#include "core/InstanceInterfaces.h"
#include "playback/StreamBase.h"

class CMemoryStream : public CStreamBase {
public:
    CMemoryStream() = default;

    // ownsImage: the image is a process-heap block the stream frees when it lets go of it.
    // guard: may be null; the image is copied only under it, and once it is closing every access fails.
    HRESULT Attach(void *image, DWORD size, DWORD ownsImage, ImageGuard *guard);
    void Detach();

    HRESULT STDMETHODCALLTYPE Read(void *pv, ULONG cb, ULONG *pcbRead) override;
    // Writes into the image in place, never past its end.
    HRESULT STDMETHODCALLTYPE Write(const void *pv, ULONG cb, ULONG *pcbWritten) override;
    // Uses the offset's low 32 bits; from the end they count backwards.
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER *plibNewPosition) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG *pstatstg, DWORD grfStatFlag) override;

protected:
    ~CMemoryStream() override;

private:
    BOOL IsCutOff() const;
    // Enters the guard for a copy; FALSE once the instance is closing.
    BOOL EnterImage();
    void LeaveImage();

    ImageGuard *m_pGuard = nullptr;
    BYTE *m_pImage = nullptr;
    DWORD m_size = 0;
    DWORD m_position = 0;
    DWORD m_ownsImage = 0;
};
