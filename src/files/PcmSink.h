// Where decoded PCM goes: a PCM WAV file with the classic 44-byte header (file mode), or the host's
// PcmDataCallback, optionally cut to a window of milliseconds (callback mode).
#pragma once

#include <cstdio>

#include "brivane.h"
#include "platform/platform.h"

class CPcmSink {
public:
    // Bytes of the WAV header written in front of the PCM.
    static const LONG kHeaderBytes = 44;
    // startByte and endByte while no window applies.
    static const DWORD kNoWindow = 0xFFFFFFFF;

    CPcmSink();
    virtual ~CPcmSink();
    CPcmSink(const CPcmSink &) = delete;
    CPcmSink &operator=(const CPcmSink &) = delete;

    // Creates or truncates the file at path (system code page); closes any file open before.
    bool Open(const char *path);
    // FALSE when any write to the file fell short.
    bool Close();

    // Callback mode: the window in ms (applied once the format is known) and the host's callback.
    void SetTarget(LONG windowStartMs, LONG windowEndMs, PcmDataCallback callback, BRIVANE_USER user);
    // Takes the stream's format as 16-bit style PCM, reports it (code 1) and sets up the window.
    void SetFormat(const WAVEFORMATEX &format);
    // Returns the bytes written to the file, 0 in callback mode, -1 for nothing to write or no file.
    LONG Write(const BYTE *bytes, LONG count, BOOL isHeader);
    LONG WriteData(const BYTE *bytes, LONG count) { return Write(bytes, count, FALSE); }
    // Rewrites the header at the start of the file; final also tells the callback the end (code 5).
    bool Finish(bool final);
    // The window's end has been reached in callback mode.
    bool IsComplete() const;
    // Samples of one channel's width in ms of the current format, or kNoWindow when it has no rate.
    DWORD MsToSamples(DWORD ms) const;

    const WAVEFORMATEX &Format() const { return m_format; }
    DWORD DataBytes() const { return m_dataBytes; }

private:
    // Calls the host under a fault guard; a callback that faults is not called again.
    void Notify(DWORD code, const void *data, DWORD length);
    LONG WriteToCallback(const BYTE *bytes, LONG count);
    void BuildHeader(BYTE (&header)[kHeaderBytes]) const;

    WAVEFORMATEX m_format;
    PcmDataCallback m_callback = nullptr;
    BRIVANE_USER m_user = 0;
    LONG m_windowStartMs = 0;
    LONG m_windowEndMs = 0;
    DWORD m_position = 0;
    DWORD m_startByte = kNoWindow;
    DWORD m_endByte = kNoWindow;
    DWORD m_dataBytes = 0;
    std::FILE *m_file = nullptr;
    bool m_callbackFaulted = false;
    bool m_writeFailed = false;  // a write to the file fell short: full disk or size limit
};
