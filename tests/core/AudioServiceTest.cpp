// The service thread against fake instances via host callbacks: handles, binding, parking, purging, order, failures.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "FakeInstances.h"
#include "core/AudioService.h"

namespace {

// A delivered event: its handle, code and payload.
using Delivered = std::tuple<DWORD, DWORD, std::string>;

struct EventLog {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Delivered> events;
    bool gateClosed = false;  // the callback blocks on the first event while set
    bool throwOnNext = false;

    static void BRIVANE_CALL OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *data,
                                    uint32_t size) {
        EventLog *log = reinterpret_cast<EventLog *>(user);
        std::unique_lock<std::mutex> guard(log->lock);
        if (log->throwOnNext) {
            log->throwOnNext = false;
            throw std::runtime_error("host fault");
        }
        log->events.emplace_back(handle, code, std::string(static_cast<const char *>(data ? data : ""), size));
        log->changed.notify_all();
        log->changed.wait(guard, [&] { return !log->gateClosed; });
    }
    std::vector<Delivered> WaitFor(size_t count) {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait_for(guard, std::chrono::seconds(5), [&] { return events.size() >= count; });
        return events;
    }
    void OpenGate() {
        std::lock_guard<std::mutex> guard(lock);
        gateClosed = false;
        changed.notify_all();
    }
};

// One service over the fakes, driven phase by phase; each phase's events follow the earlier ones in the log.
TEST(Service, BindsParksPurgesAndReportsFailuresThroughTheHostCallback) {
    EventLog log;
    CInstanceTable table;
    HANDLE fence = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    FencedService service{&table, fence};
    service.SetPlaybackCallback(&EventLog::OnPlay, reinterpret_cast<BRIVANE_USER>(&log));
    auto open = [&](DWORD command) {
        const WORD handle = OpenEntry(table, command == CMD_OPEN ? sizeof(AudioOutOpenParams) : sizeof(WAVEFORMATEX));
        service.Command(command, handle);
        return handle;
    };
    auto openPlayer = [&] {
        const WORD handle = open(CMD_OPEN);
        EXPECT_TRUE(service.Fence());
        return static_cast<FakePlayer *>(Find(table, handle)->Player());
    };

    // An open and its close posted before the service runs: the open finds the entry closing.
    const int made = g_playersMade;
    const WORD closedEarly = open(CMD_OPEN);
    service.Command(CMD_CLOSE, closedEarly);
    service.Start(0);
    EXPECT_TRUE(service.Fence());
    EXPECT_EQ(made, g_playersMade) << "a player was made for an entry already closing";
    EXPECT_EQ(nullptr, Find(table, closedEarly));
    EXPECT_TRUE(log.WaitFor(0).empty());

    // Event 6 for a seek on an unseekable medium and a failed open; none for no entry.
    FakePlayer *a = openPlayer();
    g_seekable = false;
    service.Command(CMD_SEEK, a->Handle(), 1000);
    service.Command(CMD_VOLUME, a->Handle(), 50);
    service.Command(CMD_SEEK, 0x7777, 10);
    g_failPlayerOpen = true;
    const WORD failed = open(CMD_OPEN);
    EXPECT_TRUE(service.Fence());
    g_failPlayerOpen = false;
    g_seekable = true;
    std::vector<Delivered> expected = {{a->Handle(), 6, ""}, {failed, 6, ""}};
    EXPECT_EQ(expected, log.WaitFor(2));
    EXPECT_EQ(12345u, service.GetWholeDuration(failed)) << "a failed open stays bound until closed";
    EXPECT_EQ(50u, a->volume);

    // A host callback that faults is reported, and delivery goes on with the next event.
    log.throwOnNext = true;
    testing::internal::CaptureStderr();
    a->Raise(2, nullptr, 0);
    a->Raise(3, "a3", 2);
    log.WaitFor(3);
    EXPECT_TRUE(service.Fence());
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, output.find("DispatchPlayMsg, Exception: 0XE06D7363, -529697949")) << output;
    expected.push_back({a->Handle(), 3, "a3"});

    // A close purges only its own instance's undelivered events, while the host holds the service thread.
    FakePlayer *b = openPlayer();
    log.gateClosed = true;
    a->Raise(1, "a1", 2);
    log.WaitFor(4);
    service.Command(CMD_CLOSE, a->Handle());
    a->Raise(2, "a2", 2);
    b->Raise(3, "b3", 2);
    a->Raise(4, "a4", 2);
    b->Raise(5, "b5", 2);
    log.OpenGate();
    EXPECT_TRUE(service.Fence());
    expected.insert(expected.end(), {{a->Handle(), 1, "a1"}, {b->Handle(), 3, "b3"}, {b->Handle(), 5, "b5"}});
    EXPECT_EQ(expected, log.WaitFor(6));

    // Either family's close disposes of whatever the entry holds and parks it for the next open.
    const WORD bHandle = b->Handle();
    service.Command(CMD_REC_CLOSE, bHandle);
    const WORD recorder = open(CMD_REC_OPEN);
    EXPECT_TRUE(service.Fence());
    EXPECT_EQ(1, b->closes) << "the player was closed and parked";
    const int playersMade = g_playersMade, recordersMade = g_recordersMade;
    service.Command(CMD_CLOSE, recorder);
    open(CMD_REC_OPEN);
    open(CMD_OPEN);
    open(CMD_OPEN);
    EXPECT_TRUE(service.Fence());
    EXPECT_EQ(recordersMade, g_recordersMade) << "the parked recorder is reused";
    EXPECT_EQ(playersMade, g_playersMade) << "and so are both parked players";
    EXPECT_EQ(nullptr, Find(table, bHandle));
    EXPECT_EQ(nullptr, Find(table, recorder));

    service.DisposeIdle();
    service.Stop(TRUE);
    table.CloseAll();
    CloseHandle(fence);
}

TEST(InstanceTable, HoldsAHundredEntriesWhoseHandlesGrowPastZeroAndOpenOnes) {
    CInstanceTable table;
    CTableLock lock(&table);
    auto cycleTo = [&](WORD last) {
        for (;;) {
            InstanceEntry *entry = table.AllocEntry();
            WORD handle = entry->handle;
            table.ClearEntry(entry);
            if (handle == last) return;
        }
    };
    cycleTo(0xFFFE);
    std::vector<InstanceEntry *> entries;
    for (int i = 0; i < 100; ++i) ASSERT_NE(nullptr, entries.emplace_back(table.AllocEntry()));
    EXPECT_EQ(nullptr, table.AllocEntry()) << "the 101st open";
    for (int i = 0; i < 100; ++i) EXPECT_EQ(i == 0 ? 0xFFFF : i, entries[i]->handle) << "after 65535 comes 1";
    table.ClearEntry(entries[40]);
    InstanceEntry *again = table.AllocEntry();
    EXPECT_EQ(entries[40], again) << "the first free slot is reused";
    EXPECT_EQ(100, again->handle) << "but not its handle";
    table.ClearEntry(entries[1]);
    cycleTo(0xFFFE);
    EXPECT_EQ(1, table.AllocEntry()->handle) << "65535 is still open, so it is skipped";
}

}  // namespace
