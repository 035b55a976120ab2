#include "files/WavLoader.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "files/SampleConverters.h"

namespace {

const WORD kFormatALaw = 6;
const WORD kFormatMuLaw = 7;
const DWORD kMinRate = 8000;
const DWORD kMaxRate = 48000;
// A format chunk may stop short of the record's last field, its count of extra bytes.
const DWORD kFormatWithoutExtra = offsetof(WAVEFORMATEX, cbSize);
// mmioRead counts in signed 32 bits.
const DWORD kMaxChunkRead = 0x7FFFFFFF;

bool IsAccepted(const WAVEFORMATEX &format) {
    if (format.nSamplesPerSec < kMinRate || format.nSamplesPerSec > kMaxRate) return false;
    if (format.nChannels != 1 && format.nChannels != 2) return false;
    if (format.wFormatTag != WAVE_FORMAT_PCM && format.wFormatTag != kFormatALaw && format.wFormatTag != kFormatMuLaw)
        return false;
    return format.wBitsPerSample == 8 || format.wBitsPerSample == 16;
}

// False when the file ends before bytes more bytes from its position, so a chunk that claims more
// than the file holds is refused before memory is set aside for it. Unknown positions pass.
bool FileHolds(HMMIO file, DWORD bytes) {
    if (bytes > kMaxChunkRead) return false;
    const LONG here = mmioSeek(file, 0, SEEK_CUR);
    if (here < 0) return true;
    const LONG end = mmioSeek(file, 0, SEEK_END);
    mmioSeek(file, here, SEEK_SET);
    return end < 0 || end < here || DWORD(end - here) >= bytes;
}

// The next size bytes of the file in a block of their own, or null when they cannot all be read.
BYTE *ReadBytes(HMMIO file, DWORD size) {
    if (!FileHolds(file, size)) return nullptr;
    BYTE *bytes = static_cast<BYTE *>(std::malloc(size));
    if (bytes && mmioRead(file, reinterpret_cast<HPSTR>(bytes), LONG(size)) != LONG(size)) {
        std::free(bytes);
        bytes = nullptr;
    }
    return bytes;
}

}  // namespace

CWavLoader::CWavLoader(LPCSTR path) : m_path(path) {}

CWavLoader::~CWavLoader() { Cleanup(); }

void CWavLoader::Cleanup() {
    std::free(m_rawData);
    m_rawData = nullptr;
}

DWORD CWavLoader::Load(SHORT **block, DWORD *rate, WAVEFORMATEX *format) {
    *block = nullptr;
    *rate = 0;
    Cleanup();
    if (!m_path) return 0;
    HMMIO file = mmioOpenA(const_cast<LPSTR>(m_path), nullptr, MMIO_READ | MMIO_ALLOCBUF);
    if (!file) return 0;
    MMCKINFO riff = {};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    MMCKINFO fmt = {};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    DWORD count = 0;
    if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) == MMSYSERR_NOERROR &&
        mmioDescend(file, &fmt, &riff, MMIO_FINDCHUNK) == MMSYSERR_NOERROR && fmt.cksize >= kFormatWithoutExtra) {
        if (BYTE *fmtBytes = ReadBytes(file, fmt.cksize)) {
            // cbSize is the file's only when the chunk holds both of its bytes.
            WAVEFORMATEX fileFormat = {};
            const size_t kept = fmt.cksize >= sizeof(WAVEFORMATEX) ? sizeof(WAVEFORMATEX) : kFormatWithoutExtra;
            std::memcpy(&fileFormat, fmtBytes, kept);
            std::free(fmtBytes);
            count = LoadSamples(file, riff, fmt, fileFormat, block, rate);
            if (format) *format = fileFormat;
        }
    }
    mmioClose(file, 0);
    return count;
}

DWORD CWavLoader::LoadSamples(HMMIO file, const MMCKINFO &riff, MMCKINFO &fmt, const WAVEFORMATEX &format,
                              SHORT **block, DWORD *rate) {
    if (!IsAccepted(format)) return 0;
    *rate = format.nSamplesPerSec;
    MMCKINFO data = {};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioAscend(file, &fmt, 0) != MMSYSERR_NOERROR ||
        mmioDescend(file, &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || data.cksize == 0)
        return 0;
    return ConvertData(file, block, data.cksize, format);
}

DWORD CWavLoader::ConvertData(HMMIO file, SHORT **block, DWORD dataSize, const WAVEFORMATEX &format) {
    Cleanup();
    m_rawData = ReadBytes(file, dataSize);
    if (!m_rawData) return 0;
    DWORD frames;
    void (*convert)(const BYTE *, DWORD, WORD, SHORT *);
    switch (format.wFormatTag) {
    case WAVE_FORMAT_PCM:
        frames = dataSize / format.nChannels / (format.wBitsPerSample / 8);
        convert = format.wBitsPerSample == 8 ? ConvertPcm8 : ConvertPcm16;
        break;
    case kFormatALaw:
        frames = dataSize / format.nChannels;
        convert = ConvertALaw;
        break;
    case kFormatMuLaw:
        frames = dataSize / format.nChannels;
        convert = ConvertMuLaw;
        break;
    default: return 0;
    }
    if (frames == 0) return 0;
    SHORT *samples = static_cast<SHORT *>(std::malloc(size_t(frames) * sizeof(SHORT)));
    if (!samples) return 0;
    convert(m_rawData, frames, format.nChannels, samples);
    *block = samples;
    return frames;
}
