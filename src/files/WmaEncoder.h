// WAV-to-WMA conversion for speech recordings: one writer and file sink kept for the process, and
// the two writer routines the capture encoder shares (profile from XML text, one timed PCM chunk).
#pragma once

#include "platform/platform.h"

// Loads a writer profile from its XML text; E_POINTER when the text or the out pointer is missing.
HRESULT LoadProfile(LPCWSTR xml, IWMProfile **ppProfile);

// Writes count bytes of PCM as one sample of input 0 stamped *runningMs; on success *runningMs
// advances by the chunk's duration at format's byte rate, rounded to the nearest millisecond.
HRESULT WriteChunk(IWMWriter *writer, const BYTE *bytes, DWORD count, const WAVEFORMATEX *format, DWORD *runningMs);

class CWmaEncoder {
public:
    CWmaEncoder() = default;
    virtual ~CWmaEncoder();
    CWmaEncoder(const CWmaEncoder &) = delete;
    CWmaEncoder &operator=(const CWmaEncoder &) = delete;

    // Creates the writer and its file sink once; a later call with a writer present does nothing.
    HRESULT Initialise();
    // Encodes the mono 8- or 16-bit PCM WAV file at wavPath into wmaPath with the profile's settings.
    HRESULT Encode(LPCSTR wavPath, LPCSTR wmaPath, LPCWSTR profile);
    // Releases the advanced writer, both sink interfaces and the writer, in that order.
    void ReleaseWriter();

private:
    // Writes total bytes of input-format PCM to the open file, one second per chunk, and ends the file.
    HRESULT WriteSamples(const BYTE *bytes, QWORD total, const WAVEFORMATEX &input);

    IWMWriter *m_pWriter = nullptr;
    IWMWriterAdvanced3 *m_pWriterAdvanced = nullptr;
    IWMWriterFileSink *m_pFileSink = nullptr;
    IWMWriterFileSink2 *m_pFileSink2 = nullptr;
};
