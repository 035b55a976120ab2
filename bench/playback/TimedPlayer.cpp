#include "TimedPlayer.h"

void CTimedPlayer::SetEventSink(PlayEventSink sink, void *context, DWORD blockPeriodMs) {
    m_sink = sink;
    m_context = context;
    m_inner->SetEventSink(sink ? &CTimedPlayer::Sink : nullptr, sink ? this : nullptr, blockPeriodMs);
}

void CTimedPlayer::Destroy() {
    m_inner->Destroy();
    delete this;
}

LONG WINAPI CTimedPlayer::Sink(DWORD handle, void *self, DWORD code, const void *data, DWORD size) {
    CTimedPlayer *player = static_cast<CTimedPlayer *>(self);
    return player->m_log->Raise(handle, [&] { return player->m_sink(handle, player->m_context, code, data, size); });
}
