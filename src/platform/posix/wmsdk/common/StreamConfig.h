// One stream of a profile: its number, names, bit rate, buffer window and media type, as the
// profile hands it out (and as a profile that is being built takes it back).
#pragma once

#include <string>

#include "platform/ComObject.h"
#include "MediaType.h"

namespace posix {

class CStreamConfig final : public CComObject<IWMStreamConfig, IWMMediaProps> {
public:
    // One reference; null when memory is short.
    static CStreamConfig *Create(WORD number, const CMediaType &type, DWORD bitrate, DWORD bufferWindowMs);

    HRESULT STDMETHODCALLTYPE GetStreamType(GUID *streamType) override;
    HRESULT STDMETHODCALLTYPE GetStreamNumber(WORD *number) override;
    HRESULT STDMETHODCALLTYPE SetStreamNumber(WORD number) override;
    HRESULT STDMETHODCALLTYPE GetStreamName(WCHAR *name, WORD *length) override;
    HRESULT STDMETHODCALLTYPE SetStreamName(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR *name, WORD *length) override;
    HRESULT STDMETHODCALLTYPE SetConnectionName(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE GetBitrate(DWORD *bitrate) override;
    HRESULT STDMETHODCALLTYPE SetBitrate(DWORD bitrate) override;
    HRESULT STDMETHODCALLTYPE GetBufferWindow(DWORD *windowMs) override;
    HRESULT STDMETHODCALLTYPE SetBufferWindow(DWORD windowMs) override;

    HRESULT STDMETHODCALLTYPE GetType(GUID *majorType) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE *type, DWORD *size) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE *type) override;

private:
    void *FindInterface(REFIID riid) override;
    CStreamConfig(WORD number, const CMediaType &type, DWORD bitrate, DWORD bufferWindowMs);
    ~CStreamConfig() = default;

    WORD m_number;
    CMediaType m_type;
    DWORD m_bitrate;
    DWORD m_bufferWindowMs;
    std::u16string m_name;
    std::u16string m_connection;
};

}  // namespace posix
