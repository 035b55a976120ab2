// A player that records the raise time of each event just before the service's sink takes it, and how
// long opening and starting it hold the service thread; every operation goes to the real player.
#pragma once

#include "LatencyLog.h"
#include "core/InstanceInterfaces.h"

class CTimedPlayer final : public IPlayerCommands {
public:
    CTimedPlayer(IPlayerCommands *inner, CLatencyLog *log) : m_inner(inner), m_log(log) {}

    void SetHandle(WORD handle) override { m_inner->SetHandle(handle); }
    BOOL SetSource(const AudioOutOpenParams *params, ImageGuard *image) override {
        return m_log->TimeCommand([&] { return m_inner->SetSource(params, image); });
    }
    void SetEventSink(PlayEventSink sink, void *context, DWORD blockPeriodMs) override;
    BOOL EnsureOpen() override {
        return m_log->TimeCommand([&] { return m_inner->EnsureOpen(); });
    }
    HRESULT Play() override {
        return m_log->TimeCommand([&] { return m_inner->Play(); });
    }
    HRESULT Pause() override { return m_inner->Pause(); }
    HRESULT Seek(DWORD positionMs) override { return m_inner->Seek(positionMs); }
    BOOL IsSeekable() override { return m_inner->IsSeekable(); }
    HRESULT SetVolume(DWORD volume) override { return m_inner->SetVolume(volume); }
    HRESULT SetPlayWindow(DWORD startMs, DWORD endMs) override { return m_inner->SetPlayWindow(startMs, endMs); }
    HRESULT SetSpeed(LONG percent) override { return m_inner->SetSpeed(percent); }
    HRESULT SetEventMask(DWORD mask) override { return m_inner->SetEventMask(mask); }
    ULONGLONG GetDuration() override { return m_inner->GetDuration(); }
    void ClosePlayback() override { m_inner->ClosePlayback(); }
    void ReleaseSource() override { m_inner->ReleaseSource(); }
    void Shutdown() override { m_inner->Shutdown(); }
    void Destroy() override;

private:
    static LONG WINAPI Sink(DWORD handle, void *self, DWORD code, const void *data, DWORD size);

    IPlayerCommands *m_inner;
    CLatencyLog *m_log;
    PlayEventSink m_sink = nullptr;
    void *m_context = nullptr;
};
