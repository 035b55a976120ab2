#include "files/SpeechWave.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The largest fmt chunk a format record can fill: 18 bytes and the largest extra block.
constexpr DWORD kMaxFmtSize = 18 + 0xFFFF;

// A block of the process heap, freed when it goes out of scope unless handed on.
class CHeapBlock {
public:
    explicit CHeapBlock(SIZE_T size) : m_data(HeapAlloc(GetProcessHeap(), 0, size)) {}
    ~CHeapBlock() {
        if (m_data) HeapFree(GetProcessHeap(), 0, m_data);
    }
    CHeapBlock(const CHeapBlock &) = delete;
    CHeapBlock &operator=(const CHeapBlock &) = delete;

    template <class T>
    T *Get() const {
        return static_cast<T *>(m_data);
    }
    template <class T>
    T *Detach() {
        void *data = m_data;
        m_data = nullptr;
        return static_cast<T *>(data);
    }

private:
    void *m_data;
};

class CMmioScope {
public:
    explicit CMmioScope(HMMIO file) : m_file(file) {}
    ~CMmioScope() {
        if (m_file) mmioClose(m_file, 0);
    }
    CMmioScope(const CMmioScope &) = delete;
    CMmioScope &operator=(const CMmioScope &) = delete;

private:
    HMMIO m_file;
};

// Bytes from the current position to the end of the file, so a declared chunk size never makes
// the loader allocate more than the file holds.
DWORD BytesLeft(HMMIO file) {
    const LONG here = mmioSeek(file, 0, SEEK_CUR);
    const LONG end = mmioSeek(file, 0, SEEK_END);
    if (here < 0 || end < here || mmioSeek(file, here, SEEK_SET) != here) return 0;
    return static_cast<DWORD>(end - here);
}

// The first checks of the format, in the order the user hears about them; false ends the load.
bool IsSpeechFormat(const WAVEFORMATEX &format) {
    char text[128];
    if (format.wFormatTag != WAVE_FORMAT_PCM || (format.wBitsPerSample != 16 && format.wBitsPerSample != 8)) {
        std::snprintf(text, sizeof text, "Speech Data Format incompatible: tag=%d[Std=1], Bits=%d[Std=8 or 16]",
                      format.wFormatTag, format.wBitsPerSample);
        MessageBoxA(nullptr, text, nullptr, MB_OK);
        return false;
    }
    // The mapper refuses inconsistent records, a byte rate of 0 among them, without a word.
    if (waveOutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR) return false;
    if (format.nSamplesPerSec < SPEECH_RATE_MIN || format.nSamplesPerSec > SPEECH_RATE_MAX || format.nChannels != 1) {
        MessageBoxA(nullptr, "Speech Data should be from single channel, sample rate in [8K, 48K]", nullptr, MB_OK);
        return false;
    }
    return true;
}

// Reads the fmt chunk of the WAVE form into format; false when it is missing, short or not speech.
bool ReadFormat(HMMIO file, const MMCKINFO &riff, WAVEFORMATEX &format) {
    MMCKINFO fmt = {};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(file, &fmt, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return false;
    if (fmt.cksize < 16 || fmt.cksize > kMaxFmtSize || fmt.cksize > BytesLeft(file)) return false;
    CHeapBlock block(fmt.cksize);
    if (!block.Get<char>()) return false;
    if (mmioRead(file, block.Get<char>(), static_cast<LONG>(fmt.cksize)) != static_cast<LONG>(fmt.cksize)) return false;
    format = {};
    std::memcpy(&format, block.Get<char>(), fmt.cksize < sizeof format ? fmt.cksize : sizeof format);
    if (fmt.cksize < sizeof format) format.cbSize = 0;
    return IsSpeechFormat(format) && mmioAscend(file, &fmt, 0) == MMSYSERR_NOERROR;
}

// Reads the data chunk as 16-bit samples; a chunk cut short keeps the whole samples that arrived.
SHORT *ReadSamples(HMMIO file, const MMCKINFO &riff, bool eightBit, DWORD &count) {
    MMCKINFO data = {};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(file, &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || data.cksize == 0) return nullptr;
    const DWORD left = BytesLeft(file);
    const DWORD bytes = data.cksize < left ? data.cksize : left;
    const DWORD width = eightBit ? 1 : 2;
    DWORD samples = bytes / width;
    if (samples == 0) return nullptr;
    CHeapBlock result(static_cast<SIZE_T>(samples) * 2);
    if (!result.Get<SHORT>()) return nullptr;
    if (eightBit) {
        CHeapBlock raw(samples);
        if (!raw.Get<BYTE>()) return nullptr;
        const LONG got = mmioRead(file, raw.Get<char>(), static_cast<LONG>(samples));
        if (got <= 0) return nullptr;
        samples = static_cast<DWORD>(got);
        const BYTE *in = raw.Get<BYTE>();
        SHORT *out = result.Get<SHORT>();
        for (DWORD i = 0; i < samples; ++i) out[i] = static_cast<SHORT>((in[i] - 128) * 256);
    } else {
        const LONG got = mmioRead(file, result.Get<char>(), static_cast<LONG>(samples * 2));
        if (got < 2) return nullptr;
        samples = static_cast<DWORD>(got) / 2;
    }
    count = samples;
    return result.Detach<SHORT>();
}

}  // namespace

SHORT *LoadSpeechWave(LPCSTR path, DWORD *count, WAVEFORMATEX *format) {
    if (!path || !count) return nullptr;
    *count = 0;
    std::string name(path);
    HMMIO file = mmioOpenA(&name[0], nullptr, MMIO_READ | MMIO_ALLOCBUF);
    if (!file) return nullptr;
    CMmioScope scope(file);
    MMCKINFO riff = {};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) return nullptr;
    WAVEFORMATEX fileFormat;
    if (!ReadFormat(file, riff, fileFormat)) return nullptr;
    DWORD samples = 0;
    SHORT *result = ReadSamples(file, riff, fileFormat.wBitsPerSample == 8, samples);
    if (!result) return nullptr;
    *count = samples;
    if (format) *format = fileFormat;
    return result;
}
