#include "core/AudioService.h"

#include <cstdlib>
#include <cstring>

#include "core/DebugOutput.h"
#include "core/FaultGuard.h"
#include "core/LockScope.h"

namespace {
const DWORD kAccessViolation = 0xC0000005u;
// Enough waiting events and data blocks for steady playback, made up front so that queueing an
// event does not allocate; a block holds one period of 48 kHz stereo 16-bit PCM at up to double speed.
const int kPlayEventSlots = 64;
const int kPayloadBuffers = 8;
const LONG kPayloadBlockBytes = 48000 * 2 * 2 * 2 * kServicePeriodMs / 1000;
}  // namespace

CAudioService::CAudioService(CInstanceTable *table, const InstanceFactory &factory)
    : m_table(table), m_factory(factory) {
    InitializeCriticalSection(&m_playLock);
    InitializeCriticalSection(&m_recordLock);
    InitializeCriticalSection(&m_deliveryLock);
}

CAudioService::~CAudioService() {
    DiscardQueuedEvents();
    DeleteCriticalSection(&m_deliveryLock);
    DeleteCriticalSection(&m_recordLock);
    DeleteCriticalSection(&m_playLock);
}

BOOL CAudioService::OnInit() {
    BOOL ready = CMsgThread::OnInit();
    {
        CLockScope lock(&m_playLock);
        // Without them the service still runs: the queue and the pool grow when needed.
        m_playEvents.Reserve(kPlayEventSlots);
        m_payloadPool.Preallocate(kPayloadBuffers, kPayloadBlockBytes);
    }
    CoInitialize(nullptr);
    SetTimer(kServicePeriodMs);
    return ready;
}

DWORD CAudioService::OnExit() {
    DiscardQueuedEvents();
    CoUninitialize();
    return CMsgThread::OnExit();
}

void CAudioService::DiscardQueuedEvents() {
    {
        CLockScope lock(&m_playLock);
        for (int i = 0; i < m_playEvents.Count(); ++i) m_payloadPool.Release(m_playEvents[i].payload);
        m_playEvents.Clear();
    }
    CLockScope lock(&m_recordLock);
    for (int i = 0; i < m_recordEvents.Count(); ++i) std::free(m_recordEvents[i].payload);
    m_recordEvents.Clear();
}

void CAudioService::OnTimer() {
    if (m_closeLost.exchange(FALSE)) CloseAbandoned();
    if (m_recordWakeLost.exchange(FALSE)) DispatchRecordMsg();
    DispatchPlayMsg();
}

// A command lost for want of memory fails as any instance operation does; a lost close is still
// done, by the next tick, and a lost playback-event wake-up needs nothing: the tick delivers it.
void CAudioService::OnPostRefused(const ThreadMessage &message) {
    const WORD handle = static_cast<WORD>(message.msg & 0xFFFF);
    switch (message.msg >> 16) {
    case CMD_CLOSE:
    case CMD_REC_CLOSE: m_closeLost = TRUE; break;
    case CMD_REC_EVENT: m_recordWakeLost = TRUE; break;
    case CMD_PLAY:
    case CMD_PAUSE:
    case CMD_SEEK:
    case CMD_VOLUME:
    case CMD_DURATION:
    case CMD_SPEED:
    case CMD_EVENT_MASK:
    case CMD_OPEN:
    case CMD_REC_OPEN:
    case CMD_REC_START:
    case CMD_REC_HALT:
    case CMD_REC_STOP: ReportFailure(handle); break;
    default: break;
    }
}

// Every entry a close export has marked is closed, whether or not its close command is still queued.
void CAudioService::CloseAbandoned() {
    for (;;) {
        CTableLock lock(m_table);
        InstanceEntry *entry = m_table->FindClosing();
        if (!entry) return;
        const WORD handle = entry->handle;
        DisposeEntryObject(entry);
        m_table->ClearEntry(entry);
        lock.Release();
        PurgePlayEvents(handle);
    }
}

int CAudioService::OnNotification(const ThreadMessage &message) {
    const DWORD code = message.msg >> 16;
    const WORD handle = static_cast<WORD>(message.msg & 0xFFFF);
    switch (code) {
    case CMD_PLAY: OnPlayOrPause(handle, FALSE); break;
    case CMD_PAUSE: OnPlayOrPause(handle, TRUE); break;
    case CMD_CLOSE: OnClose(handle); break;
    case CMD_SEEK:
    case CMD_VOLUME: OnSeekOrVolume(handle, code, message.param1); break;
    case CMD_DURATION:
    case CMD_SPEED:
    case CMD_EVENT_MASK: OnPlayerSetting(handle, code, message.param1, message.param2); break;
    case CMD_OPEN: OnOpen(handle); break;
    case CMD_PLAY_EVENT: DispatchPlayMsg(); break;
    case CMD_REC_OPEN: OnRecorderOpen(handle, static_cast<LPCWSTR>(message.data)); break;
    case CMD_REC_START: OnRecorderStartStop(handle, TRUE); break;
    case CMD_REC_HALT:
    case CMD_REC_STOP: OnRecorderStartStop(handle, FALSE); break;
    case CMD_REC_CLOSE: OnRecorderClose(handle); break;
    case CMD_REC_EVENT: DispatchRecordMsg(); break;
    default: break;
    }
    return 0;
}

void CAudioService::ReportFailure(WORD handle) { QueuePlayEvent(handle, EVENT_COMMAND_FAILED, nullptr, 0); }

IPlayerCommands *CAudioService::TakePlayer() {
    for (IPlayerCommands *&slot : m_idlePlayers) {
        if (slot) {
            IPlayerCommands *player = slot;
            slot = nullptr;
            return player;
        }
    }
    return m_factory.newPlayer ? m_factory.newPlayer() : nullptr;
}

ICaptureCommands *CAudioService::TakeRecorder() {
    ICaptureCommands *recorder = m_idleRecorder;
    m_idleRecorder = nullptr;
    if (!recorder && m_factory.newRecorder) recorder = m_factory.newRecorder();
    return recorder;
}

void CAudioService::ParkPlayer(IPlayerCommands *player) {
    for (IPlayerCommands *&slot : m_idlePlayers) {
        if (!slot) {
            slot = player;
            return;
        }
    }
    player->Shutdown();
    player->Destroy();
}

void CAudioService::ParkRecorder(ICaptureCommands *recorder) {
    if (!m_idleRecorder)
        m_idleRecorder = recorder;
    else
        recorder->Destroy();
}

void CAudioService::OnOpen(WORD handle) {
    CTableLock lock(m_table);
    InstanceEntry *entry = m_table->FindEntry(handle);
    if (!entry || entry->image.closing) return;
    IPlayerCommands *player = TakePlayer();
    BOOL opened = FALSE;
    if (player) {
        player->SetHandle(entry->handle);
        entry->object = player;
        entry->kind = KIND_PLAYER;
        opened = player->SetSource(static_cast<const AudioOutOpenParams *>(entry->openParams), &entry->image);
        if (opened) player->SetEventSink(&CAudioService::PlaySink, this, kServicePeriodMs);
    }
    lock.Release();
    if (!opened) ReportFailure(handle);
}

// A close disposes of whatever the entry holds, whichever family's close export posted it.
void CAudioService::DisposeEntryObject(InstanceEntry *entry) {
    if (IPlayerCommands *player = entry->Player()) {
        player->ClosePlayback();
        player->ReleaseSource();
        ParkPlayer(player);
    } else if (ICaptureCommands *recorder = entry->Recorder()) {
        recorder->Stop();
        recorder->Close();
        ParkRecorder(recorder);
    }
}

void CAudioService::OnClose(WORD handle) {
    CTableLock lock(m_table);
    if (InstanceEntry *entry = m_table->FindEntry(handle)) {
        DisposeEntryObject(entry);
        m_table->ClearEntry(entry);
    }
    lock.Release();
    PurgePlayEvents(handle);
}

void CAudioService::OnPlayOrPause(WORD handle, BOOL pause) {
    CTableLock lock(m_table);
    BOOL failed = FALSE;
    InstanceEntry *entry = m_table->FindEntry(handle);
    if (IPlayerCommands *player = entry ? entry->Player() : nullptr) {
        if (!player->EnsureOpen())
            failed = TRUE;
        else
            failed = FAILED(pause ? player->Pause() : player->Play());
    }
    lock.Release();
    if (failed) ReportFailure(handle);
}

void CAudioService::OnSeekOrVolume(WORD handle, DWORD code, DWORD value) {
    CTableLock lock(m_table);
    InstanceEntry *entry = m_table->FindEntry(handle);
    IPlayerCommands *player = entry ? entry->Player() : nullptr;
    lock.Release();
    if (!entry) return;
    BOOL ok;
    if (code == CMD_SEEK)
        ok = player && player->IsSeekable() && SUCCEEDED(player->Seek(value));
    else
        ok = player && SUCCEEDED(player->SetVolume(value));
    if (!ok) ReportFailure(handle);
}

void CAudioService::OnPlayerSetting(WORD handle, DWORD code, DWORD param1, DWORD param2) {
    CTableLock lock(m_table);
    InstanceEntry *entry = m_table->FindEntry(handle);
    IPlayerCommands *player = entry ? entry->Player() : nullptr;
    lock.Release();
    if (!player) return;
    HRESULT hr;
    if (code == CMD_DURATION)
        hr = player->SetPlayWindow(param1, param2);
    else if (code == CMD_SPEED)
        hr = player->SetSpeed(static_cast<LONG>(param1));
    else
        hr = player->SetEventMask(param1);
    if (FAILED(hr)) ReportFailure(handle);
}

void CAudioService::OnRecorderOpen(WORD handle, LPCWSTR profile) {
    CTableLock lock(m_table);
    InstanceEntry *entry = m_table->FindEntry(handle);
    if (!entry || entry->image.closing) return;
    ICaptureCommands *recorder = TakeRecorder();
    BOOL opened = FALSE;
    if (recorder) {
        recorder->SetHandle(entry->handle);
        entry->object = recorder;
        entry->kind = KIND_RECORDER;
        if (entry->openParams && entry->openParamsSize == sizeof(WAVEFORMATEX) &&
            recorder->Open(static_cast<const WAVEFORMATEX *>(entry->openParams), profile)) {
            recorder->SetEventSink(&CAudioService::RecordSink, this);
            opened = TRUE;
        }
    }
    lock.Release();
    if (!opened) ReportFailure(handle);
}

void CAudioService::OnRecorderStartStop(WORD handle, BOOL start) {
    CTableLock lock(m_table);
    BOOL failed = FALSE;
    InstanceEntry *entry = m_table->FindEntry(handle);
    if (ICaptureCommands *recorder = entry ? entry->Recorder() : nullptr)
        failed = !(start ? recorder->Start() : recorder->Stop());
    lock.Release();
    if (failed) ReportFailure(handle);
}

void CAudioService::OnRecorderClose(WORD handle) {
    CTableLock lock(m_table);
    InstanceEntry *entry = m_table->FindEntry(handle);
    if (!entry) return;
    DisposeEntryObject(entry);
    m_table->ClearEntry(entry);
    lock.Release();
    // Failures of a capture instance travel as playback events; none arrives after its close.
    PurgePlayEvents(handle);
}

void CAudioService::SetPlaybackCallback(AudioOutCallback callback, BRIVANE_USER user) {
    CLockScope lock(&m_playLock);
    m_playCallback = callback;
    m_playUser = user;
}

void CAudioService::SetCaptureCallback(AudioInCallback callback, BRIVANE_USER user) {
    CLockScope lock(&m_recordLock);
    m_recordCallback = callback;
    m_recordUser = user;
}

LONG CAudioService::QueuePlayEvent(DWORD handle, DWORD code, const void *payload, DWORD size) {
    if (IsStopping()) return -1;
    LONG result = 0;
    {
        CLockScope lock(&m_playLock);
        if (!m_playCallback) return -1;
        PoolBuffer *buffer = nullptr;
        if (payload) {
            buffer = m_payloadPool.AcquireCopy(payload, static_cast<LONG>(size));
            // An event without the data it carries would mislead the host: it is not raised.
            if (!buffer && size > 0) return -1;
            result = static_cast<LONG>(size);
        } else {
            size = 0;
        }
        if (!m_playEvents.Append(PlayEvent{handle, code, buffer, size})) {
            m_payloadPool.Release(buffer);
            return -1;
        }
    }
    Post(MakeCommand(CMD_PLAY_EVENT, handle), 0, TRUE, nullptr, 0, 0);
    return result;
}

void CAudioService::QueueRecordEvent(DWORD handle, DWORD code, DWORD arg1, DWORD arg2, const void *payload,
                                     DWORD size) {
    if (IsStopping()) return;
    BOOL queued = FALSE;
    {
        CLockScope lock(&m_recordLock);
        if (!m_recordCallback) return;
        void *copy = payload && size > 0 ? std::malloc(size) : nullptr;
        if (copy)
            std::memcpy(copy, payload, size);
        else
            size = 0;
        queued = m_recordEvents.Append(RecordEvent{handle, code, copy, size, arg1, arg2});
        if (!queued) std::free(copy);
    }
    // A capture event that found no room is lost: the host hears of it as a failure of the instance.
    if (queued)
        Post(MakeCommand(CMD_REC_EVENT, handle), 0, TRUE, nullptr, 0, 0);
    else
        ReportFailure(static_cast<WORD>(handle));
}

// The host callback runs without the event lock, so a callback that calls back into the library
// cannot deadlock against an open export that holds the library lock and wants the event lock.
// The delivery lock spans the check that the instance is not closing and the callback, which is
// what lets a close export wait out a callback of its instance.
void CAudioService::DispatchPlayMsg() {
    PlayEvent event{};
    AudioOutCallback callback = nullptr;
    DWORD fault = 0;
    {
        CLockScope delivery(&m_deliveryLock);
        BRIVANE_USER user = 0;
        for (;;) {
            {
                CLockScope lock(&m_playLock);
                callback = m_playCallback;
                user = m_playUser;
                if (!callback || m_playEvents.Count() == 0) return;
                event = m_playEvents[0];
                m_playEvents.RemoveAt(0);
            }
            if (IsDeliverable(event.handle)) break;
            CLockScope lock(&m_playLock);
            m_payloadPool.Release(event.payload);
        }
        const void *data = event.payload ? event.payload->data : nullptr;
        DWORD size = event.payload ? event.size : 0;
        fault = RunGuarded([&] { callback(event.handle, user, event.code, data, size); });
    }
    {
        CLockScope lock(&m_playLock);
        m_payloadPool.Release(event.payload);
        if (fault == kAccessViolation && m_playCallback == callback) m_playCallback = nullptr;
    }
    if (fault)
        DebugPrintf("DispatchPlayMsg, Exception: 0X%X, %d", static_cast<unsigned>(fault), static_cast<int>(fault));
}

void CAudioService::DispatchRecordMsg() {
    CDynArray<RecordEvent> events;
    AudioInCallback callback = nullptr;
    BRIVANE_USER user = 0;
    {
        CLockScope lock(&m_recordLock);
        callback = m_recordCallback;
        user = m_recordUser;
        if (callback) m_recordEvents.MoveTo(events);
    }

    for (int i = 0; i < events.Count(); ++i) {
        const RecordEvent &event = events[i];
        DWORD fault = RunGuarded(
            [&] { callback(event.handle, user, event.code, event.arg1, event.arg2, event.payload, event.size); });
        if (fault)
            DebugPrintf("DispatchRecordMsg, Exception: 0X%X, %d", static_cast<unsigned>(fault),
                        static_cast<int>(fault));
        std::free(event.payload);
    }
}

// Handles are not reused while open, so a playback event whose entry is gone or closing is of a closed instance.
BOOL CAudioService::IsDeliverable(DWORD handle) {
    CTableLock lock(m_table);
    InstanceEntry *entry = m_table->FindEntry(static_cast<WORD>(handle));
    return entry && entry->image.closing.load() == 0;
}

void CAudioService::WaitForDelivery() {
    if (IsOwnThread()) return;
    CLockScope wait(&m_deliveryLock);
}

int CAudioService::PurgePlayEvents(DWORD handle) {
    int removed = 0;
    CLockScope lock(&m_playLock);
    for (int i = m_playEvents.Count() - 1; i >= 0; --i) {
        if (m_playEvents[i].handle == handle) {
            m_payloadPool.Release(m_playEvents[i].payload);
            m_playEvents.RemoveAt(i);
            ++removed;
        }
    }
    return removed;
}

DWORD CAudioService::GetWholeDuration(DWORD handle) {
    CTableLock lock(m_table);
    InstanceEntry *entry = m_table->FindEntry(static_cast<WORD>(handle));
    IPlayerCommands *player = entry ? entry->Player() : nullptr;
    return player ? static_cast<DWORD>(player->GetDuration() / 10000u) : 0;
}

void CAudioService::DisposeIdle() {
    CTableLock lock(m_table);
    for (IPlayerCommands *&slot : m_idlePlayers) {
        if (slot) CInstanceTable::DisposePlayer(slot);
        slot = nullptr;
    }
    if (m_idleRecorder) {
        m_idleRecorder->Close();
        m_idleRecorder->Destroy();
        m_idleRecorder = nullptr;
    }
}

LONG WINAPI CAudioService::PlaySink(DWORD handle, void *service, DWORD code, const void *data, DWORD size) {
    if (!service) return -1;
    return static_cast<CAudioService *>(service)->QueuePlayEvent(handle, code, data, size);
}

void WINAPI CAudioService::RecordSink(DWORD handle, void *service, DWORD code, DWORD arg1, DWORD arg2, const void *data,
                                      DWORD size) {
    if (!service) return;
    CAudioService *self = static_cast<CAudioService *>(service);
    // A capture instance whose device stopped on its own reports a failure, as its commands do.
    if (code == EVENT_COMMAND_FAILED)
        self->ReportFailure(static_cast<WORD>(handle));
    else
        self->QueueRecordEvent(handle, code, arg1, arg2, data, size);
}
