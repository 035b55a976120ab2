// The properties of one reader output: its media type, a private copy the caller may change and
// hand back to the reader.
#pragma once

#include "platform/ComObject.h"
#include "MediaType.h"

namespace posix {

class COutputMediaProps final : public CComObject<IWMOutputMediaProps> {
public:
    // One reference; null when memory is short.
    static COutputMediaProps *Create(const CMediaType &type);

    HRESULT STDMETHODCALLTYPE GetType(GUID *majorType) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE *type, DWORD *size) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE *type) override;
    HRESULT STDMETHODCALLTYPE GetStreamGroupName(WCHAR *name, WORD *length) override;
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR *name, WORD *length) override;

private:
    void *FindInterface(REFIID riid) override;
    explicit COutputMediaProps(const CMediaType &type) : m_type(type) {}
    ~COutputMediaProps() = default;

    CMediaType m_type;
};

}  // namespace posix
