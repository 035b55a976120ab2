// The service thread against fake instances: handles, binding, parking, purging, delivery order
// and the failure events, all observed through the host callbacks.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeInstances.h"
#include "core/AudioService.h"

namespace {

struct Delivered {
    DWORD handle;
    DWORD code;
    std::string payload;
    bool operator==(const Delivered &o) const { return handle == o.handle && code == o.code && payload == o.payload; }
};

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
        log->events.push_back({handle, code, std::string(static_cast<const char *>(data ? data : ""), size)});
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

class ServiceTest : public testing::Test {
protected:
    void SetUp() override {
        g_fakes.failPlayerOpen = false;
        g_fakes.seekable = true;
        service.SetPlaybackCallback(&EventLog::OnPlay, reinterpret_cast<BRIVANE_USER>(&log));
    }
    void TearDown() override {
        log.OpenGate();
        service.DisposeIdle();
        service.Stop(TRUE);
        table.CloseAll();
        CloseHandle(fence);
    }

    WORD Open(DWORD command = CMD_OPEN) {
        const WORD handle = OpenEntry(table, command == CMD_OPEN ? sizeof(AudioOutOpenParams) : sizeof(WAVEFORMATEX));
        service.Command(command, handle);
        return handle;
    }
    FakePlayer *OpenPlayer() {
        Open();
        EXPECT_TRUE(service.Fence());
        return LastPlayer();
    }

    CInstanceTable table;
    HANDLE fence = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    FencedService service{&table, fence};
    EventLog log;
};

TEST_F(ServiceTest, OpenThenCloseBeforeTheServiceRunsDoesNothing) {
    int made = g_fakes.playersMade;
    WORD handle = Open();
    service.Command(CMD_CLOSE, handle);
    service.Start(0);
    ASSERT_TRUE(service.Fence());
    EXPECT_EQ(made, g_fakes.playersMade) << "the open found the entry closing";
    CTableLock lock(&table);
    EXPECT_EQ(nullptr, table.FindEntry(handle));
    EXPECT_TRUE(log.events.empty());
}

TEST_F(ServiceTest, CommandFailuresArriveAsEventSix) {
    service.Start(0);
    FakePlayer *player = OpenPlayer();
    g_fakes.seekable = false;
    service.Command(CMD_SEEK, player->Handle(), 1000);
    service.Command(CMD_DURATION, player->Handle(), 2000, 1000);
    service.Command(CMD_DURATION, player->Handle(), 1000, 0xFFFFFFFF);
    service.Command(CMD_SPEED, player->Handle(), 150);
    service.Command(CMD_VOLUME, player->Handle(), 50);
    service.Command(CMD_SEEK, 0x7777, 10);  // never issued: no entry, nothing reported
    g_fakes.failPlayerOpen = true;
    WORD failed = Open();
    ASSERT_TRUE(service.Fence());
    // A seek on a medium that is not seekable, a play window that ends before it starts, the failed open.
    const std::vector<Delivered> failures = {{player->Handle(), 6, ""}, {player->Handle(), 6, ""}, {failed, 6, ""}};
    EXPECT_EQ(failures, log.WaitFor(3));
    EXPECT_EQ(12345u, service.GetWholeDuration(failed)) << "a failed open stays bound until closed";
    EXPECT_EQ((std::vector<std::string>{"open", "volume 50"}), player->Calls());
}

TEST_F(ServiceTest, ClosePurgesOnlyThatInstancesUndeliveredEvents) {
    service.Start(0);
    FakePlayer *a = OpenPlayer();
    FakePlayer *b = OpenPlayer();
    log.gateClosed = true;
    a->Raise(1, "a1", 2);
    log.WaitFor(1);  // the service thread now waits inside the host callback
    service.Command(CMD_CLOSE, a->Handle());
    a->Raise(2, "a2", 2);
    b->Raise(3, "b3", 2);
    a->Raise(4, "a4", 2);
    b->Raise(5, "b5", 2);
    log.OpenGate();
    ASSERT_TRUE(service.Fence());
    const std::vector<Delivered> delivered = {{a->Handle(), 1, "a1"}, {b->Handle(), 3, "b3"}, {b->Handle(), 5, "b5"}};
    EXPECT_EQ(delivered, log.WaitFor(3));
}

TEST_F(ServiceTest, AHostCallbackFaultIsReportedAndDeliveryGoesOn) {
    service.Start(0);
    FakePlayer *player = OpenPlayer();
    log.throwOnNext = true;
    testing::internal::CaptureStderr();
    player->Raise(2, nullptr, 0);
    player->Raise(3, nullptr, 0);
    std::vector<Delivered> events = log.WaitFor(1);
    ASSERT_TRUE(service.Fence());
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, output.find("DispatchPlayMsg, Exception: 0XE06D7363, -529697949")) << output;
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(3u, events[0].code);
}

TEST_F(ServiceTest, EitherCloseDisposesOfWhateverTheEntryHoldsAndParksIt) {
    service.Start(0);
    FakePlayer *player = OpenPlayer();
    const WORD playerHandle = player->Handle();
    service.Command(CMD_REC_CLOSE, playerHandle);
    WORD recorder = Open(CMD_REC_OPEN);
    ASSERT_TRUE(service.Fence());
    EXPECT_EQ((std::vector<std::string>{"open", "close"}), player->Calls()) << "the player was closed and parked";
    const int playersMade = g_fakes.playersMade, recordersMade = g_fakes.recordersMade;
    service.Command(CMD_CLOSE, recorder);
    Open(CMD_REC_OPEN);
    Open();
    ASSERT_TRUE(service.Fence());
    EXPECT_EQ(recordersMade, g_fakes.recordersMade) << "the parked recorder is reused";
    EXPECT_EQ(playersMade, g_fakes.playersMade) << "and so is the parked player";
    CTableLock lock(&table);
    EXPECT_EQ(nullptr, table.FindEntry(playerHandle));
    EXPECT_EQ(nullptr, table.FindEntry(recorder));
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
