// Players and capture instances that record the service's calls and raise events on demand.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

#include "core/AudioService.h"
#include "core/InstanceInterfaces.h"

// What the factory made, and how the players it makes next behave.
inline std::atomic<int> g_playersMade{0}, g_recordersMade{0};
inline std::atomic<bool> g_failPlayerOpen{false}, g_seekable{true};

class FakePlayer : public IPlayerCommands {
public:
    void SetHandle(WORD handle) override { m_handle = handle; }
    BOOL SetSource(const AudioOutOpenParams *params, ImageGuard *) override { return params && !g_failPlayerOpen; }
    void SetEventSink(PlayEventSink sink, void *context, DWORD) override {
        m_sink = sink;
        m_context = context;
    }
    BOOL EnsureOpen() override { return TRUE; }
    HRESULT Play() override { return S_OK; }
    HRESULT Pause() override { return S_OK; }
    HRESULT Seek(DWORD) override { return S_OK; }
    BOOL IsSeekable() override { return g_seekable; }
    HRESULT SetVolume(DWORD value) override { return volume = value, S_OK; }
    HRESULT SetPlayWindow(DWORD, DWORD) override { return S_OK; }
    HRESULT SetSpeed(LONG) override { return S_OK; }
    HRESULT SetEventMask(DWORD) override { return S_OK; }
    ULONGLONG GetDuration() override { return 123456789ull; }
    void ClosePlayback() override { ++closes; }
    void ReleaseSource() override {}
    void Shutdown() override {}
    void Destroy() override { delete this; }

    // Raises an event as a player's own threads would.
    LONG Raise(DWORD code, const void *data, DWORD size) {
        return m_sink ? m_sink(m_handle, m_context, code, data, size) : -1;
    }
    WORD Handle() const { return m_handle; }
    // What the service asked of it, read once the service thread is fenced.
    DWORD volume = 0;
    int closes = 0;

private:
    WORD m_handle = 0;
    PlayEventSink m_sink = nullptr;
    void *m_context = nullptr;
};

class FakeRecorder : public ICaptureCommands {
public:
    void SetHandle(WORD handle) override { m_handle = handle; }
    BOOL Open(const WAVEFORMATEX *format, LPCWSTR) override { return format != nullptr; }
    void SetEventSink(RecordEventSink sink, void *context) override {
        m_sink = sink;
        m_context = context;
    }
    BOOL Start() override { return TRUE; }
    BOOL Stop() override { return TRUE; }
    void Close() override {}
    void Destroy() override { delete this; }
    void Raise(DWORD code, DWORD arg1, DWORD arg2, const void *data, DWORD size) {
        if (m_sink) m_sink(m_handle, m_context, code, arg1, arg2, data, size);
    }

private:
    WORD m_handle = 0;
    RecordEventSink m_sink = nullptr;
    void *m_context = nullptr;
};

// The factory the tests hand to the service; one that runs out of memory returns null, as the library's does.
inline InstanceFactory FakeFactory() {
    auto newPlayer = []() -> IPlayerCommands * {
        ++g_playersMade;
        return new (std::nothrow) FakePlayer;
    };
    auto newRecorder = []() -> ICaptureCommands * {
        ++g_recordersMade;
        return new (std::nothrow) FakeRecorder;
    };
    return InstanceFactory{newPlayer, newRecorder};
}

// The service over the fakes, with a fence command that sets the caller's auto-reset event.
class FencedService : public CAudioService {
public:
    FencedService(CInstanceTable *table, HANDLE fence)
        : CAudioService(table, FakeFactory()), m_table(table), m_fence(fence) {}
    int OnNotification(const ThreadMessage &message) override {
        if (message.msg >> 16 == kFence) return SetEvent(m_fence), 0;
        return CAudioService::OnNotification(message);
    }
    // True once everything posted before has run; posts again when a fence found no memory.
    bool Fence() {
        for (int tries = 0; tries < 3; ++tries) {
            Post(MakeCommand(kFence, 0), 0, TRUE, nullptr, 0, 0);
            if (WaitForSingleObject(m_fence, 2000) == WAIT_OBJECT_0) return true;
        }
        return false;
    }
    // A command as the exports post it; a close marks the entry closing first, as they do.
    void Command(DWORD code, WORD handle, DWORD param1 = 0, DWORD param2 = 0) {
        if (code == CMD_CLOSE || code == CMD_REC_CLOSE) {
            CTableLock lock(m_table);
            if (InstanceEntry *entry = m_table->FindEntry(handle)) entry->image.closing = 1;
        }
        Post(MakeCommand(code, handle), param1, TRUE, nullptr, param2, 0);
    }

private:
    static constexpr DWORD kFence = 0x7FFF;
    CInstanceTable *m_table;
    HANDLE m_fence;
};

// A table entry as an open export makes it, with zeroed open parameters the fakes never read; 0 when out of room.
inline WORD OpenEntry(CInstanceTable &table, size_t paramsSize) {
    CTableLock lock(&table);
    InstanceEntry *entry = table.AllocEntry();
    void *params = entry ? std::calloc(1, paramsSize) : nullptr;
    if (!params) {
        if (entry) table.ClearEntry(entry);
        return 0;
    }
    entry->openParams = params;
    entry->openParamsSize = DWORD(paramsSize);
    return entry->handle;
}

// The entry, found under the table lock; the service thread is fenced when its object is read.
inline InstanceEntry *Find(CInstanceTable &table, WORD handle) {
    CTableLock lock(&table);
    return table.FindEntry(handle);
}
