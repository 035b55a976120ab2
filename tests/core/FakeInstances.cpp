#include "FakeInstances.h"

#include <cstdlib>
#include <new>

FakeCounters g_fakes;

namespace {
const DWORD kFence = 0x7FFF;
std::atomic<FakePlayer *> g_lastPlayer{nullptr};

IPlayerCommands *NewFakePlayer() {
    ++g_fakes.playersMade;
    // A factory that runs out of memory returns null, as the library's does.
    try {
        return g_lastPlayer = new FakePlayer;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

ICaptureCommands *NewFakeRecorder() {
    ++g_fakes.recordersMade;
    return new (std::nothrow) FakeRecorder;
}
}  // namespace

InstanceFactory FakeFactory() { return InstanceFactory{&NewFakePlayer, &NewFakeRecorder}; }
FakePlayer *LastPlayer() { return g_lastPlayer; }

int FencedService::OnNotification(const ThreadMessage &message) {
    if (message.msg >> 16 == kFence) return SetEvent(m_fence), 0;
    return CAudioService::OnNotification(message);
}

void FencedService::Command(DWORD code, WORD handle, DWORD param1, DWORD param2) {
    if (code == CMD_CLOSE || code == CMD_REC_CLOSE) {
        CTableLock lock(m_table);
        if (InstanceEntry *entry = m_table->FindEntry(handle)) entry->image.closing = 1;
    }
    Post(MakeCommand(code, handle), param1, TRUE, nullptr, param2, 0);
}

bool FencedService::Fence() {
    for (int tries = 0; tries < 3 && !IsStopping(); ++tries) {
        Post(MakeCommand(kFence, 0), 0, TRUE, nullptr, 0, 0);
        for (int waited = 0; waited < 40 && !IsStopping(); ++waited)
            if (WaitForSingleObject(m_fence, 50) == WAIT_OBJECT_0) return true;
    }
    return false;
}

WORD OpenEntry(CInstanceTable &table, size_t paramsSize) {
    CTableLock lock(&table);
    InstanceEntry *entry = table.AllocEntry();
    void *params = entry ? std::calloc(1, paramsSize) : nullptr;
    if (!params) {
        if (entry) table.ClearEntry(entry);
        return 0;
    }
    if (paramsSize == sizeof(AudioOutOpenParams))
        *static_cast<AudioOutOpenParams *>(params) = AudioOutOpenParams{1, SOURCE_FILE, u"x.wma", 10};
    entry->openParams = params;
    entry->openParamsSize = DWORD(paramsSize);
    return entry->handle;
}
