#include "playback/DurationProbe.h"

#include <new>

#include "playback/Player.h"

CDurationProbe::~CDurationProbe() { Dispose(); }

HRESULT CDurationProbe::Prepare() {
    if (!m_pPlayer) m_pPlayer = new (std::nothrow) CPlayer;
    if (!m_pPlayer) return E_OUTOFMEMORY;
    return m_pPlayer->CreateReader();
}

DWORD CDurationProbe::Probe(LPCWSTR path) {
    if (!m_pPlayer || FAILED(m_pPlayer->OpenFile(path))) return 0;
    const DWORD ms = static_cast<DWORD>(m_pPlayer->GetDuration() / 10000u);
    m_pPlayer->Stop();
    return ms;
}

void CDurationProbe::Dispose() {
    if (!m_pPlayer) return;
    m_pPlayer->Stop();
    m_pPlayer->Close();
    m_pPlayer->Release();
    m_pPlayer = nullptr;
}
