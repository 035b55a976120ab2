// A media type held by value: the SDK's WM_MEDIA_TYPE record with a private copy of its format
// block, handed out with the SDK's two-call protocol.
#pragma once

#include <vector>

#include "wmsdk.h"
#include "winmm.h"

namespace posix {

class CMediaType {
public:
    CMediaType();

    // Interleaved 16-bit PCM, described by an 18-byte WAVEFORMATEX as the reader's outputs are.
    static CMediaType Pcm(WORD channels, DWORD samplesPerSecond);
    // An audio stream as stored: the format record's tag picks the subtype, extra bytes follow it.
    static CMediaType Audio(const WAVEFORMATEX &format, const BYTE *extra, WORD extraSize);
    // A video stream: its major type only, no format block.
    static CMediaType Video(DWORD fourcc);

    const GUID &MajorType() const { return m_type.majortype; }
    const WM_MEDIA_TYPE &Record() const { return m_type; }
    const std::vector<BYTE> &Format() const { return m_format; }

    // Copies the caller's record and format block; E_POINTER without one.
    HRESULT Assign(const WM_MEDIA_TYPE *type);
    // The record followed by the format block: without a record *size learns the size; a size too
    // small gives ASF_E_BUFFERTOOSMALL with the size needed.
    HRESULT CopyTo(WM_MEDIA_TYPE *type, DWORD *size) const;

    bool operator==(const CMediaType &other) const;

private:
    WM_MEDIA_TYPE m_type;
    std::vector<BYTE> m_format;
};

}  // namespace posix
