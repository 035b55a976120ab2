#include "playback/RiffWaveParser.h"

#include <cstddef>
#include <cstring>

namespace {

const ULONG kRiffHeaderBytes = 12;
const ULONG kChunkHeaderBytes = 8;
// A format chunk may stop short of the record's last field, its count of extra bytes.
const DWORD kFormatWithoutExtra = offsetof(WAVEFORMATEX, cbSize);

DWORD LittleEndian(const BYTE *bytes) {
    return DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
}

bool IsId(const BYTE *bytes, const char *id) { return std::memcmp(bytes, id, 4) == 0; }

// Counts what it consumes, so that no skip runs past the stream's end: a stream whose relative
// seeks wrap around would otherwise go back over a chunk already read, for ever.
class CHeaderReader {
public:
    CHeaderReader(IStream *source, ULONGLONG size) : m_source(source), m_size(size) {}

    // A read that comes up short fails like one that reports failure.
    bool Read(void *buffer, ULONG bytes) {
        ULONG read = 0;
        if (FAILED(m_source->Read(buffer, bytes, &read)) || read != bytes) return false;
        m_consumed += bytes;
        return true;
    }

    bool Skip(DWORD bytes) {
        if (m_consumed + bytes > m_size) return false;
        LARGE_INTEGER distance;
        distance.QuadPart = LONGLONG(bytes);
        if (FAILED(m_source->Seek(distance, STREAM_SEEK_CUR, nullptr))) return false;
        m_consumed += bytes;
        return true;
    }

private:
    IStream *const m_source;
    const ULONGLONG m_size;
    ULONGLONG m_consumed = 0;
};

HRESULT ReadFormat(CHeaderReader &reader, DWORD length, WAVEFORMATEX *format) {
    if (length != kFormatWithoutExtra && length != sizeof(WAVEFORMATEX)) return E_FAIL;
    BYTE record[sizeof(WAVEFORMATEX)] = {};
    if (!reader.Read(record, length)) return E_FAIL;
    std::memcpy(format, record, sizeof(WAVEFORMATEX));
    // A compressed format's extra bytes follow the record; the player needs only the record.
    if (format->wFormatTag == WAVE_FORMAT_PCM || format->cbSize == 0)
        format->cbSize = 0;
    else if (!reader.Skip(format->cbSize))
        return E_FAIL;
    return S_OK;
}

}  // namespace

HRESULT ParseRiffWave(IStream *source, WAVEFORMATEX *format, DWORD *dataSize, DWORD *dataOffset) {
    if (!source) return E_INVALIDARG;
    STATSTG stat = {};
    if (FAILED(source->Stat(&stat, STATFLAG_NONAME)) || DWORD(stat.cbSize.QuadPart) == 0) return E_FAIL;
    CHeaderReader reader(source, stat.cbSize.QuadPart);
    BYTE header[kRiffHeaderBytes];
    if (!reader.Read(header, kRiffHeaderBytes) || !IsId(header, "RIFF") || !IsId(header + 8, "WAVE")) return E_FAIL;
    if (!reader.Read(header, kChunkHeaderBytes) || !IsId(header, "fmt ")) return E_FAIL;
    if (FAILED(ReadFormat(reader, LittleEndian(header + 4), format))) return E_FAIL;
    for (;;) {
        if (!reader.Read(header, kChunkHeaderBytes)) return E_FAIL;
        if (IsId(header, "data")) break;
        if (!IsId(header, "fact") || !reader.Skip(LittleEndian(header + 4))) return E_FAIL;
    }
    *dataSize = LittleEndian(header + 4);
    LARGE_INTEGER none;
    none.QuadPart = 0;
    ULARGE_INTEGER position;
    if (SUCCEEDED(source->Seek(none, STREAM_SEEK_CUR, &position))) *dataOffset = DWORD(position.QuadPart);
    return S_OK;
}
