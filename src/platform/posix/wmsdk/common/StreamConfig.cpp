#include "StreamConfig.h"

#include <new>

#include "StringProperty.h"

namespace posix {

CStreamConfig::CStreamConfig(WORD number, const CMediaType &type, DWORD bitrate, DWORD bufferWindowMs)
    : m_number(number), m_type(type), m_bitrate(bitrate), m_bufferWindowMs(bufferWindowMs)
{
}

CStreamConfig *CStreamConfig::Create(WORD number, const CMediaType &type, DWORD bitrate, DWORD bufferWindowMs)
{
    return new (std::nothrow) CStreamConfig(number, type, bitrate, bufferWindowMs);
}

HRESULT CStreamConfig::QueryInterface(REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWMStreamConfig)
        *object = static_cast<IWMStreamConfig *>(this);
    else if (riid == IID_IWMMediaProps)
        *object = static_cast<IWMMediaProps *>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CStreamConfig::AddRef() { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CStreamConfig::Release()
{
    const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CStreamConfig::GetStreamType(GUID *streamType)
{
    if (!streamType)
        return E_POINTER;
    *streamType = m_type.MajorType();
    return S_OK;
}

HRESULT CStreamConfig::GetStreamNumber(WORD *number)
{
    if (!number)
        return E_POINTER;
    *number = m_number;
    return S_OK;
}

HRESULT CStreamConfig::SetStreamNumber(WORD number)
{
    // Stream numbers run from 1 to 63 in a Windows Media file.
    if (number < 1 || number > 63)
        return E_INVALIDARG;
    m_number = number;
    return S_OK;
}

HRESULT CStreamConfig::GetStreamName(WCHAR *name, WORD *length) { return CopyWideString(m_name, name, length); }

HRESULT CStreamConfig::SetStreamName(LPCWSTR name)
{
    if (!name)
        return E_POINTER;
    m_name = name;
    return S_OK;
}

HRESULT CStreamConfig::GetConnectionName(WCHAR *name, WORD *length)
{
    return CopyWideString(m_connection, name, length);
}

HRESULT CStreamConfig::SetConnectionName(LPCWSTR name)
{
    if (!name)
        return E_POINTER;
    m_connection = name;
    return S_OK;
}

HRESULT CStreamConfig::GetBitrate(DWORD *bitrate)
{
    if (!bitrate)
        return E_POINTER;
    *bitrate = m_bitrate;
    return S_OK;
}

HRESULT CStreamConfig::SetBitrate(DWORD bitrate)
{
    m_bitrate = bitrate;
    return S_OK;
}

HRESULT CStreamConfig::GetBufferWindow(DWORD *windowMs)
{
    if (!windowMs)
        return E_POINTER;
    *windowMs = m_bufferWindowMs;
    return S_OK;
}

HRESULT CStreamConfig::SetBufferWindow(DWORD windowMs)
{
    m_bufferWindowMs = windowMs;
    return S_OK;
}

HRESULT CStreamConfig::GetType(GUID *majorType) { return GetStreamType(majorType); }

HRESULT CStreamConfig::GetMediaType(WM_MEDIA_TYPE *type, DWORD *size) { return m_type.CopyTo(type, size); }

HRESULT CStreamConfig::SetMediaType(WM_MEDIA_TYPE *type) { return m_type.Assign(type); }

}  // namespace posix
