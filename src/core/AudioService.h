// The service thread: runs every playback and capture command in posting order and delivers every
// host notification, one playback event per delivery command or timer tick.
#pragma once

#include <atomic>

#include "brivane.h"
#include "core/BufferPool.h"
#include "core/InstanceInterfaces.h"
#include "core/InstanceTable.h"
#include "core/MsgThread.h"

enum : DWORD {
    CMD_PLAY = 0x400,
    CMD_PAUSE = 0x401,
    CMD_CLOSE = 0x402,
    CMD_SEEK = 0x403,
    CMD_VOLUME = 0x404,
    CMD_DURATION = 0x405,
    CMD_OPEN = 0x406,
    CMD_PLAY_EVENT = 0x407,
    CMD_SPEED = 0x408,
    CMD_EVENT_MASK = 0x409,
    CMD_REC_OPEN = 0x465,
    CMD_REC_HALT = 0x466,
    CMD_REC_START = 0x467,
    CMD_REC_CLOSE = 0x468,
    CMD_REC_EVENT = 0x469,
    CMD_REC_STOP = 0x46A,
};

enum : DWORD { EVENT_COMMAND_FAILED = 6 };

// Milliseconds of PCM per host data block and per service timer tick.
const DWORD kServicePeriodMs = 50;

inline DWORD MakeCommand(DWORD code, DWORD handle) { return code << 16 | (handle & 0xFFFF); }

struct PlayEvent {
    DWORD handle;
    DWORD code;
    PoolBuffer *payload;
    DWORD size;
};

struct RecordEvent {
    DWORD handle;
    DWORD code;
    void *payload;
    DWORD size;
    DWORD arg1;
    DWORD arg2;
};

class CAudioService : public CMsgThread {
public:
    CAudioService(CInstanceTable *table, const InstanceFactory &factory);
    ~CAudioService() override;

    BOOL OnInit() override;
    DWORD OnExit() override;
    int OnNotification(const ThreadMessage &message) override;
    void OnTimer() override;
    void OnPostRefused(const ThreadMessage &message) override;

    void SetPlaybackCallback(AudioOutCallback callback, BRIVANE_USER user);
    void SetCaptureCallback(AudioInCallback callback, BRIVANE_USER user);
    LONG QueuePlayEvent(DWORD handle, DWORD code, const void *payload, DWORD size);
    void QueueRecordEvent(DWORD handle, DWORD code, DWORD arg1, DWORD arg2, const void *payload, DWORD size);
    void DispatchPlayMsg();
    void DispatchRecordMsg();
    int PurgePlayEvents(DWORD handle);
    // Returns once no host callback that was running when it was called is still running; called by
    // a close export, after marking its entry closing and without the library lock, from a host thread.
    void WaitForDelivery();
    DWORD GetWholeDuration(DWORD handle);
    // Disposes of the parked players and capture instance (library shutdown).
    void DisposeIdle();

    static LONG WINAPI PlaySink(DWORD handle, void *service, DWORD code, const void *data, DWORD size);
    static void WINAPI RecordSink(DWORD handle, void *service, DWORD code, DWORD arg1, DWORD arg2, const void *data,
                                  DWORD size);

private:
    void ReportFailure(WORD handle);
    void OnOpen(WORD handle);
    void OnClose(WORD handle);
    void OnPlayOrPause(WORD handle, BOOL pause);
    void OnSeekOrVolume(WORD handle, DWORD code, DWORD value);
    void OnPlayerSetting(WORD handle, DWORD code, DWORD param1, DWORD param2);
    void OnRecorderOpen(WORD handle, LPCWSTR profile);
    void OnRecorderStartStop(WORD handle, BOOL start);
    void OnRecorderClose(WORD handle);
    void DisposeEntryObject(InstanceEntry *entry);
    void ParkPlayer(IPlayerCommands *player);
    void ParkRecorder(ICaptureCommands *recorder);
    IPlayerCommands *TakePlayer();
    ICaptureCommands *TakeRecorder();
    void DiscardQueuedEvents();
    BOOL IsDeliverable(DWORD handle);
    void CloseAbandoned();

    CInstanceTable *m_table;
    InstanceFactory m_factory;
    CDynArray<PlayEvent> m_playEvents;
    CDynArray<RecordEvent> m_recordEvents;
    IPlayerCommands *m_idlePlayers[2] = {nullptr, nullptr};
    ICaptureCommands *m_idleRecorder = nullptr;
    AudioOutCallback m_playCallback = nullptr;
    BRIVANE_USER m_playUser = 0;
    AudioInCallback m_recordCallback = nullptr;
    BRIVANE_USER m_recordUser = 0;
    CRITICAL_SECTION m_playLock;
    CRITICAL_SECTION m_recordLock;
    CRITICAL_SECTION m_deliveryLock;
    CBufferPool m_payloadPool{FALSE};
    // Set by a close or a capture-event wake-up that could not be queued; the timer makes up for it.
    std::atomic<BOOL> m_closeLost{FALSE};
    std::atomic<BOOL> m_recordWakeLost{FALSE};
};
