// The properties of one writer input: the PCM it takes. The writer keeps its own and hands out
// copies, so a media type set on one takes effect only through SetInputProps.
#pragma once

#include <mutex>
#include <string>

#include "platform/ComObject.h"
#include "MediaType.h"

namespace posix {

class CWmInputProps final : public CComObject<IWMInputMediaProps> {
public:
    // One reference; null when memory is short.
    static CWmInputProps *Create(const CMediaType &type, const std::u16string &connection);

    CMediaType Type();
    // A new object with the same type and connection, one reference; null when memory is short.
    CWmInputProps *Copy();

    HRESULT STDMETHODCALLTYPE GetType(GUID *majorType) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE *type, DWORD *size) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE *type) override;
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR *name, WORD *length) override;
    HRESULT STDMETHODCALLTYPE GetGroupName(WCHAR *name, WORD *length) override;

private:
    void *FindInterface(REFIID riid) override;
    CWmInputProps(const CMediaType &type, const std::u16string &connection) : m_type(type), m_connection(connection) {}
    ~CWmInputProps() = default;

    std::mutex m_lock;
    CMediaType m_type;
    const std::u16string m_connection;
};

}  // namespace posix
