#include "StreamConfig.h"

#include <new>

#include "Property.h"

namespace posix {

CStreamConfig::CStreamConfig(WORD number, const CMediaType &type, DWORD bitrate, DWORD bufferWindowMs)
    : m_number(number), m_type(type), m_bitrate(bitrate), m_bufferWindowMs(bufferWindowMs) {}

CStreamConfig *CStreamConfig::Create(WORD number, const CMediaType &type, DWORD bitrate, DWORD bufferWindowMs) {
    return new (std::nothrow) CStreamConfig(number, type, bitrate, bufferWindowMs);
}

void *CStreamConfig::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IWMStreamConfig) return static_cast<IWMStreamConfig *>(this);
    if (riid == IID_IWMMediaProps) return static_cast<IWMMediaProps *>(this);
    return nullptr;
}

HRESULT CStreamConfig::GetStreamType(GUID *streamType) { return PutValue(streamType, m_type.MajorType()); }

HRESULT CStreamConfig::GetStreamNumber(WORD *number) { return PutValue(number, m_number); }

HRESULT CStreamConfig::SetStreamNumber(WORD number) {
    // Stream numbers run from 1 to 63 in a Windows Media file.
    if (number < 1 || number > 63) return E_INVALIDARG;
    m_number = number;
    return S_OK;
}

HRESULT CStreamConfig::GetStreamName(WCHAR *name, WORD *length) { return CopyWideString(m_name, name, length); }

HRESULT CStreamConfig::SetStreamName(LPCWSTR name) { return KeepWideString(name, m_name); }

HRESULT CStreamConfig::GetConnectionName(WCHAR *name, WORD *length) {
    return CopyWideString(m_connection, name, length);
}

HRESULT CStreamConfig::SetConnectionName(LPCWSTR name) { return KeepWideString(name, m_connection); }

HRESULT CStreamConfig::GetBitrate(DWORD *bitrate) { return PutValue(bitrate, m_bitrate); }

HRESULT CStreamConfig::SetBitrate(DWORD bitrate) {
    m_bitrate = bitrate;
    return S_OK;
}

HRESULT CStreamConfig::GetBufferWindow(DWORD *windowMs) { return PutValue(windowMs, m_bufferWindowMs); }

HRESULT CStreamConfig::SetBufferWindow(DWORD windowMs) {
    m_bufferWindowMs = windowMs;
    return S_OK;
}

HRESULT CStreamConfig::GetType(GUID *majorType) { return GetStreamType(majorType); }

HRESULT CStreamConfig::GetMediaType(WM_MEDIA_TYPE *type, DWORD *size) { return m_type.CopyTo(type, size); }

HRESULT CStreamConfig::SetMediaType(WM_MEDIA_TYPE *type) { return m_type.Assign(type); }

}  // namespace posix
