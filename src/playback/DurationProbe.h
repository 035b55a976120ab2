// The process-wide holder of the player that reads media durations for GetWmaFileDuration.
#pragma once

#include "platform/platform.h"

class CPlayer;

class CDurationProbe {
public:
    CDurationProbe() = default;
    virtual ~CDurationProbe();
    CDurationProbe(const CDurationProbe &) = delete;
    CDurationProbe &operator=(const CDurationProbe &) = delete;

    // Makes the player and its reader.
    HRESULT Prepare();
    // The medium's duration in milliseconds, modulo 2^32; 0 on any failure.
    DWORD Probe(LPCWSTR path);
    void Dispose();

private:
    CPlayer *m_pPlayer = nullptr;
};
