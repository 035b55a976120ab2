// Puts a player's decoded PCM through the time-stretch engine: 4096-byte blocks in, whatever the
// engine has ready out through the output callback in pieces of at most 8192 bytes.
#pragma once

#include "platform/platform.h"
#include "stretch/BlockChunker.h"
#include "stretch/StretchEngine.h"

// Receives stretched PCM, synchronously inside Process or Flush; the result is ignored.
typedef LONG (*SpeedOutputCallback)(const BYTE *data, LONG bytes, void *context);

class CSpeedAdaptor {
public:
    CSpeedAdaptor();
    virtual ~CSpeedAdaptor();
    CSpeedAdaptor(const CSpeedAdaptor &) = delete;
    CSpeedAdaptor &operator=(const CSpeedAdaptor &) = delete;

    void SetOutput(SpeedOutputCallback callback, void *context);
    // Opens the engine for a 16-bit mono or stereo format unless one exists; an engine whose opening
    // failed stays set.
    BOOL CreateEngine(const WAVEFORMATEX &format);
    BOOL SetSpeed(float factor);
    // Feeds the whole run and drains the output; without an engine or a callback the PCM is dropped.
    BOOL Process(const BYTE *data, LONG bytes);
    void Flush();
    void DestroyEngine();

private:
    void Feed(const BYTE *block, LONG bytes);
    void Drain();

    CBlockChunker m_chunker;
    StretchState *m_pEngine = nullptr;
    BYTE *m_pOutBuffer = nullptr;
    SpeedOutputCallback m_outputCallback = nullptr;
    void *m_pCallbackContext = nullptr;
};
