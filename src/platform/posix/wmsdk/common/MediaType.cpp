#include "MediaType.h"

#include <cstring>

namespace posix {

CMediaType::CMediaType() : m_type() {}

CMediaType CMediaType::Pcm(WORD channels, DWORD samplesPerSecond) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = samplesPerSecond;
    format.wBitsPerSample = 16;
    format.nBlockAlign = WORD(channels * 2);
    format.nAvgBytesPerSec = samplesPerSecond * format.nBlockAlign;
    return Audio(format, nullptr, 0);
}

CMediaType CMediaType::Audio(const WAVEFORMATEX &format, const BYTE *extra, WORD extraSize) {
    CMediaType type;
    type.m_type.majortype = WMMEDIATYPE_Audio;
    type.m_type.subtype = WMMEDIASUBTYPE_Base;
    type.m_type.subtype.Data1 = format.wFormatTag;
    type.m_type.formattype = WMFORMAT_WaveFormatEx;
    type.m_type.bFixedSizeSamples = TRUE;
    type.m_type.lSampleSize = format.nBlockAlign;
    type.m_format.resize(sizeof(WAVEFORMATEX) + (extra ? extraSize : 0));
    WAVEFORMATEX head = format;
    head.cbSize = extra ? extraSize : 0;
    std::memcpy(type.m_format.data(), &head, sizeof(head));
    if (extra && extraSize) std::memcpy(type.m_format.data() + sizeof(head), extra, extraSize);
    type.m_type.cbFormat = ULONG(type.m_format.size());
    return type;
}

CMediaType CMediaType::Video(DWORD fourcc) {
    CMediaType type;
    type.m_type.majortype = WMMEDIATYPE_Video;
    type.m_type.subtype = WMMEDIASUBTYPE_Base;
    type.m_type.subtype.Data1 = fourcc;
    type.m_type.bTemporalCompression = TRUE;
    return type;
}

HRESULT CMediaType::Assign(const WM_MEDIA_TYPE *type) {
    if (!type) return E_POINTER;
    if (type->cbFormat && !type->pbFormat) return E_INVALIDARG;
    m_format.assign(type->pbFormat, type->pbFormat + type->cbFormat);
    m_type = *type;
    m_type.pUnk = nullptr;
    m_type.pbFormat = nullptr;
    return S_OK;
}

HRESULT CMediaType::CopyTo(WM_MEDIA_TYPE *type, DWORD *size) const {
    if (!size) return E_INVALIDARG;
    const DWORD needed = DWORD(sizeof(WM_MEDIA_TYPE) + m_format.size());
    if (type && *size < needed) {
        *size = needed;
        return ASF_E_BUFFERTOOSMALL;
    }
    *size = needed;
    if (!type) return S_OK;
    *type = m_type;
    type->cbFormat = ULONG(m_format.size());
    type->pbFormat = m_format.empty() ? nullptr : reinterpret_cast<BYTE *>(type + 1);
    if (!m_format.empty()) std::memcpy(type->pbFormat, m_format.data(), m_format.size());
    return S_OK;
}

bool CMediaType::operator==(const CMediaType &other) const {
    return m_type.majortype == other.m_type.majortype && m_type.subtype == other.m_type.subtype &&
           m_type.formattype == other.m_type.formattype && m_format == other.m_format;
}

}  // namespace posix
