// The properties of one reader output: its media type, a private copy the caller may change and
// hand back to the reader.
#pragma once

#include <atomic>

#include "MediaType.h"

namespace posix {

class COutputMediaProps final : public IWMOutputMediaProps {
public:
    // One reference; null when memory is short.
    static COutputMediaProps *Create(const CMediaType &type);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetType(GUID *majorType) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE *type, DWORD *size) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE *type) override;
    HRESULT STDMETHODCALLTYPE GetStreamGroupName(WCHAR *name, WORD *length) override;
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR *name, WORD *length) override;

private:
    explicit COutputMediaProps(const CMediaType &type) : m_type(type) {}
    ~COutputMediaProps() = default;

    std::atomic<ULONG> m_references{1};
    CMediaType m_type;
};

}  // namespace posix
