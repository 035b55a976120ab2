// The player the service binds to a playback instance: a player with a media source, opened on
// first use, which plays a PCM WAV source itself in direct WAV mode.
#pragma once

#include "core/InstanceInterfaces.h"
#include "files/SampleBuffer.h"
#include "playback/Player.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CSourcePlayer final : public CPlayer, public IPlayerCommands {
public:
    CSourcePlayer() = default;

    void SetHandle(WORD handle) override { CPlayer::SetHandle(handle); }
    BOOL SetSource(const AudioOutOpenParams *params, ImageGuard *image) override;
    void SetEventSink(PlayEventSink sink, void *context, DWORD blockPeriodMs) override {
        CPlayer::SetEventSink(sink, context, blockPeriodMs);
    }
    BOOL EnsureOpen() override;
    HRESULT Play() override { return CPlayer::Play(); }
    HRESULT Pause() override { return CPlayer::Pause(); }
    HRESULT Seek(DWORD positionMs) override { return CPlayer::Seek(positionMs); }
    BOOL IsSeekable() override { return CPlayer::IsSeekable(); }
    HRESULT SetVolume(DWORD volume) override { return CPlayer::SetVolume(volume); }
    HRESULT SetPlayWindow(DWORD startMs, DWORD endMs) override { return CPlayer::SetPlayWindow(startMs, endMs); }
    HRESULT SetSpeed(LONG percent) override { return CPlayer::SetSpeed(percent); }
    HRESULT SetEventMask(DWORD mask) override { return CPlayer::SetEventMask(mask); }
    ULONGLONG GetDuration() override { return CPlayer::GetDuration(); }
    void ClosePlayback() override { Stop(); }
    void ReleaseSource() override;
    // Close with source: what the service runs before it destroys a player.
    void Shutdown() override;
    void Destroy() override { Release(); }

    HRESULT StartReader(QWORD start, QWORD duration) override;
    // The reader's error while the medium plays (a file cut short) also reaches the host.
    HRESULT STDMETHODCALLTYPE OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, BYTE *value,
                                       void *context) override;

private:
    ~CSourcePlayer() override;

    HRESULT OpenSource();
    HRESULT OpenWaveSource();
    HRESULT StreamWave(QWORD start, QWORD length);
    void OnTick() override;
    // Reads one-second pieces of the WAV source into the sample path while more media is wanted,
    // and marks the end of the stream after the last.
    void FeedWave();
    // One piece under the player lock; FALSE when the window or the data is exhausted or the read
    // failed, which *result then tells.
    BOOL ReadWavePiece(HRESULT *result);
    // The failure event for a medium that fails while it plays; what was read before still plays out.
    void ReportMediaFailure();

    BOOL m_opened = FALSE;
    IStream *m_pSource = nullptr;
    DWORD m_dataOffset = 0;
    DWORD m_dataSize = 0;

    // Direct WAV streaming, under the player lock: the piece buffer, the bytes left in the data
    // chunk and in the window, and the next piece's time.
    CSampleBuffer *m_pPiece = nullptr;
    BOOL m_waveFeeding = FALSE;
    DWORD m_waveGeneration = 0;  // the play generation being fed: a start begun since stops the reads
    DWORD m_waveLeft = 0;
    DWORD m_waveWindowLeft = 0;
    QWORD m_waveTime = 0;
};
#pragma GCC diagnostic pop
