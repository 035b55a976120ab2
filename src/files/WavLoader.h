// Reads a WAV file through the RIFF file functions and hands its audio out as one block of 16-bit
// mono samples at the file's own rate, whatever the file holds among the accepted formats.
#pragma once

#include "platform/platform.h"

class CWavLoader {
public:
    // path: a file name in the system code page; may be null, and then every load fails.
    explicit CWavLoader(LPCSTR path);
    virtual ~CWavLoader();
    CWavLoader(const CWavLoader &) = delete;
    CWavLoader &operator=(const CWavLoader &) = delete;

    // Returns the sample count with the block (the caller frees it with std::free), or 0 and null;
    // format, when given, receives the file's own record whenever its "fmt " chunk was read whole.
    DWORD Load(SHORT **block, DWORD *rate, WAVEFORMATEX *format);

private:
    // The steps after the format chunk: the format checks, the "data" chunk and its conversion.
    DWORD LoadSamples(HMMIO file, const MMCKINFO &riff, MMCKINFO &fmt, const WAVEFORMATEX &format, SHORT **block,
                      DWORD *rate);
    // Reads dataSize bytes at the file position and converts them; returns the sample count.
    DWORD ConvertData(HMMIO file, SHORT **block, DWORD dataSize, const WAVEFORMATEX &format);
    void Cleanup();

    LPCSTR m_path;
    BYTE *m_rawData = nullptr;
};
