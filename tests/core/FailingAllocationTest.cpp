// Each pool, service queue and thread message queue allocation fails in turn: a defined failure, then a clean run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>

#include "FailingAllocations.h"
#include "FakeInstances.h"
#include "core/AudioService.h"
#include "core/BufferPool.h"

namespace {

// Buffers of many sizes, some held across rounds: each acquisition gives a buffer that fits or null.
bool PoolScenario(BOOL withLock) {
    CBufferPool pool(withLock);
    bool complete = pool.Preallocate(3, 4096) != FALSE;
    PoolBuffer *held[48] = {};
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 48; ++i) {
            const LONG size = 1 + (i * 977 + round * 131) % 9000;
            PoolBuffer *buffer = i % 3 == 0 ? pool.AcquireCopy(nullptr, size) : pool.Acquire(size);
            if (!buffer) {
                complete = false;
                continue;
            }
            EXPECT_GE(buffer->capacity, size);
            if (i % 3 == 0) {
                EXPECT_EQ(0, buffer->data[size - 1]);
            }
            std::memset(buffer->data, 0xA5, size_t(size));
            pool.Release(held[i]);
            held[i] = buffer;
        }
    }
    return complete;
}

// Judged on arrival without allocating: failures carry nothing, other events the payload their player raised.
struct Host {
    std::mutex lock;
    WORD firstPlayer = 0, recorder = 0;
    int delivered = 0, records = 0;
    bool failed = false, recorderFailed = false, intact = true;

    static void BRIVANE_CALL OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *data,
                                    uint32_t size) {
        Host *host = reinterpret_cast<Host *>(user);
        std::lock_guard<std::mutex> guard(host->lock);
        if (code == EVENT_COMMAND_FAILED) {
            host->failed = true;
            host->recorderFailed = host->recorderFailed || handle == host->recorder;
            host->intact = host->intact && size == 0;
            return;
        }
        ++host->delivered;
        const char wanted[4] = {'e', 'v', handle == host->firstPlayer ? '0' : '1', char('0' + code - 100)};
        host->intact = host->intact && size == 4 && std::memcmp(data, wanted, 4) == 0;
    }
    static void BRIVANE_CALL OnRecord(uint32_t, BRIVANE_USER user, uint32_t, uint32_t, uint32_t, const void *data,
                                      uint32_t size) {
        Host *host = reinterpret_cast<Host *>(user);
        std::lock_guard<std::mutex> guard(host->lock);
        ++host->records;
        // A capture payload that could not be copied arrives as none.
        host->intact = host->intact && (size == 0 || (size == 4 && std::memcmp(data, "pcm!", 4) == 0));
    }
    // A capture instance that failed may have lost events.
    bool AllArrived(int accepted, int raised) {
        std::lock_guard<std::mutex> guard(lock);
        return delivered >= accepted && (records >= raised || recorderFailed);
    }
};

// Two players and a recorder via the service: commands run or fail with event 6, events arrive intact, closes finish.
bool ServiceScenario(HANDLE fence) {
    Host host;
    CInstanceTable table;
    FencedService service(&table, fence);
    if (!table.IsValid() || !service.Start(0)) {
        service.Stop(TRUE);
        return false;
    }
    service.SetPlaybackCallback(&Host::OnPlay, reinterpret_cast<BRIVANE_USER>(&host));
    service.SetCaptureCallback(&Host::OnRecord, reinterpret_cast<BRIVANE_USER>(&host));
    const WORD handles[3] = {OpenEntry(table, sizeof(AudioOutOpenParams)), OpenEntry(table, sizeof(AudioOutOpenParams)),
                             OpenEntry(table, sizeof(WAVEFORMATEX))};
    host.firstPlayer = handles[0];
    host.recorder = handles[2];
    bool complete = handles[0] && handles[1] && handles[2];
    for (int i = 0; i < 3; ++i)
        if (handles[i]) service.Command(i < 2 ? CMD_OPEN : CMD_REC_OPEN, handles[i]);
    EXPECT_TRUE(service.Fence()) << "a service thread that started does not serve";
    int accepted = 0, raised = 0;
    for (int i = 0; i < 2; ++i) {
        if (!handles[i]) continue;
        service.Command(CMD_PLAY, handles[i]);
        service.Command(CMD_SEEK, handles[i], 1000);
        InstanceEntry *entry = Find(table, handles[i]);
        auto *player = entry ? static_cast<FakePlayer *>(entry->Player()) : nullptr;
        for (int k = 0; player && k < 6; ++k) {
            const char payload[4] = {'e', 'v', char('0' + i), char('0' + k)};
            accepted += player->Raise(DWORD(100 + k), payload, 4) == 4;
        }
    }
    InstanceEntry *entry = Find(table, handles[2]);
    if (auto *recorder = entry ? static_cast<FakeRecorder *>(entry->Recorder()) : nullptr)
        for (; raised < 5; ++raised) recorder->Raise(7, 1, 2, "pcm!", 4);
    service.Fence();
    for (int waited = 0; waited < 40 && !host.AllArrived(accepted, raised); ++waited) Sleep(25);
    for (int i = 0; i < 3; ++i)
        if (handles[i]) service.Command(i < 2 ? CMD_CLOSE : CMD_REC_CLOSE, handles[i]);
    service.Fence();
    for (WORD handle : handles) {
        for (int waited = 0; handle && Find(table, handle) && waited < 40; ++waited) Sleep(25);
        EXPECT_TRUE(!handle || !Find(table, handle)) << "a close was lost";
    }
    {
        std::lock_guard<std::mutex> guard(host.lock);
        EXPECT_TRUE(host.intact);
        EXPECT_EQ(accepted, host.delivered) << "an accepted event was lost";
        if (!host.recorderFailed) {
            EXPECT_EQ(raised, host.records) << "a capture event was lost unreported";
        }
        complete = complete && !host.failed && accepted == 12 && raised == 5;
    }
    service.DisposeIdle();
    service.Stop(TRUE);
    table.CloseAll();
    return complete;
}

struct Receiver {
    std::atomic<bool> ready{false};
    std::atomic<DWORD> threadId{0};
    WPARAM got[32];
    int count = 0;
};

unsigned __stdcall Receive(void *context) {
    Receiver *receiver = static_cast<Receiver *>(context);
    MSG message;
    receiver->threadId = GetCurrentThreadId();
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    receiver->ready = true;
    while (GetMessageA(&message, nullptr, 0, 0) > 0 && message.message != WM_USER + 1) {
        if (receiver->count < 32) receiver->got[receiver->count++] = message.wParam;
    }
    return 0;
}

// Twenty messages posted to another thread: each post either arrives, in order, or fails at once.
bool ThreadQueueScenario() {
    Receiver receiver;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Receive, &receiver, 0, nullptr));
    if (!thread) return false;
    while (!receiver.ready) Sleep(1);
    bool posted[20];
    for (int i = 0; i < 20; ++i) {
        posted[i] = PostThreadMessageA(receiver.threadId, WM_USER, WPARAM(i), 0) != FALSE;
        if (!posted[i]) {
            const DWORD error = GetLastError();
            EXPECT_TRUE(error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_INVALID_THREAD_ID) << error;
        }
    }
    while (!PostThreadMessageA(receiver.threadId, WM_USER + 1, 0, 0) &&
           WaitForSingleObject(thread, 10) == WAIT_TIMEOUT) {
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    CloseHandle(thread);
    int next = 0;
    bool complete = true;
    for (int i = 0; i < 20; ++i) {
        complete = complete && posted[i];
        if (posted[i] && next < receiver.count) {
            EXPECT_EQ(WPARAM(i), receiver.got[next++]);
        }
    }
    EXPECT_EQ(next, receiver.count) << "a message arrived that was not posted";
    return complete && receiver.count == 20;
}

TEST(FailingAllocations, EveryPoolAndQueueAllocationFailsCleanly) {
    HANDLE fence = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const struct {
        const char *name;
        std::function<bool()> scenario;
        int leastRefused;  // how many allocations the scenario makes at the least
    } cases[] = {
        {"pool with its own lock", [] { return PoolScenario(TRUE); }, 10},
        {"pool under its owner's lock", [] { return PoolScenario(FALSE); }, 10},
        {"service commands and events", [&] { return ServiceScenario(fence); }, 10},
        {"thread message queue", [] { return ThreadQueueScenario(); }, 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_GE(failalloc::FailEachInTurn(c.scenario, 2000), c.leastRefused);
    }
    CloseHandle(fence);
}

}  // namespace
