// Each service queue, event payload and thread queue allocation fails in turn: a defined failure, then a clean run.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "FailingAllocations.h"
#include "FakeInstances.h"
#include "core/AudioService.h"

namespace {

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

// Twenty messages a new thread posts to its own queue: each post either arrives, in order, or fails at once.
unsigned __stdcall PostAndTakeTwenty(void *complete) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue, unless memory runs out
    WPARAM posted[20];
    int count = 0;
    for (WPARAM i = 0; i < 20; ++i) {
        if (PostThreadMessageA(GetCurrentThreadId(), WM_USER, i, 0)) {
            posted[count++] = i;
        } else {
            const DWORD error = GetLastError();
            EXPECT_TRUE(error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_INVALID_THREAD_ID) << error;
        }
    }
    int received = 0;
    for (; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++received) {
        EXPECT_TRUE(received < count && posted[received] == message.wParam) << "not as posted: " << message.wParam;
    }
    EXPECT_EQ(count, received);
    *static_cast<bool *>(complete) = count == 20;
    return 0;
}

// On a thread of its own each time, so that every run makes the queue anew.
bool ThreadQueueScenario() {
    bool complete = false;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &PostAndTakeTwenty, &complete, 0, nullptr));
    if (!thread) return false;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return complete;
}

// Each scenario makes at least this many allocations, so a hook that fails none cannot pass.
TEST(FailingAllocations, EveryPoolAndQueueAllocationFailsCleanly) {
    HANDLE fence = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_GE(failalloc::FailEachInTurn([&] { return ServiceScenario(fence); }, 2000), 10) << "service";
    EXPECT_GE(failalloc::FailEachInTurn(ThreadQueueScenario, 2000), 3) << "thread message queue";
    CloseHandle(fence);
}

}  // namespace
