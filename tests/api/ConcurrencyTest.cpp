// Many host threads opening, commanding and closing against one service thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "HostHarness.h"

namespace {

// Once the hosts are done, only the fence instance is alive. Commands run in posting order, so when
// the fence's failure arrives every earlier close has run, and any later event is a fault.
struct StressLog {
    HostMutex lock;
    bool hostsDone = false;
    std::vector<uint32_t> afterDone;

    static void BRIVANE_CALL OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t, const void *, uint32_t) {
        StressLog *log = reinterpret_cast<StressLog *>(user);
        std::lock_guard<HostMutex> guard(log->lock);
        if (log->hostsDone) log->afterDone.push_back(handle);
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }
    // Events delivered after the fence's, or -1 while the fence has not arrived.
    int EventsAfter(uint32_t fence) {
        std::lock_guard<HostMutex> guard(lock);
        for (size_t i = 0; i < afterDone.size(); ++i)
            if (afterDone[i] == fence) return static_cast<int>(afterDone.size() - i - 1);
        return -1;
    }
};

TEST(Concurrency, EightHostThreadsOpenPostAndCloseThousandsOfTimes) {
    ASSERT_EQ(1u, Brivane().InitBrivane());
    StressLog log;
    // Under Wine every kernel call costs so much more that a tenth of the rounds takes minutes.
    const int kThreads = 8, kRounds = RunningUnderWine() ? 1000 : 10000;
    std::atomic<int> opened{0};
    std::vector<HostThread> hosts;
    for (int t = 0; t < kThreads; ++t) {
        hosts.emplace_back([&, t] {
            const char image[8] = {};
            for (int i = 0; i < kRounds;) {
                uint32_t handle =
                    (i + t) % 2
                        ? Brivane().AudioOutFileOpen(1, Path("missing.wma").c_str(), &StressLog::OnPlay, log.User())
                        : Brivane().AudioOutOpen(1, image, sizeof image, &StressLog::OnPlay, log.User());
                if (!handle) {
                    // The table is full until the service thread catches up with the closes.
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                ++opened;
                Brivane().AudioOutPlay(handle, i % 3 == 0);
                Brivane().AudioOutSeek(handle, i);
                Brivane().AudioOutSetVolume(handle, i % 101);
                Brivane().AudioOutGetWholeDuration(handle);
                (i % 5 ? Brivane().AudioOutClose : Brivane().AudioInClose)(handle);
                ++i;
            }
        });
    }
    for (HostThread &host : hosts) host.join();
    EXPECT_EQ(kThreads * kRounds, opened);

    {
        std::lock_guard<HostMutex> guard(log.lock);
        log.hostsDone = true;
    }
    uint32_t fence = 0;
    WaitUntil([&] {
        return (fence = Brivane().AudioOutFileOpen(1, Path("fence").c_str(), &StressLog::OnPlay, log.User())) != 0;
    });
    ASSERT_NE(0u, fence);
    WaitUntil([&] { return log.EventsAfter(fence) >= 0; }, 30000);
    ASSERT_EQ(0, log.EventsAfter(fence));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(0, log.EventsAfter(fence)) << "no event of a closed instance arrives after its close ran";
    Brivane().AudioOutClose(fence);

    // Every entry has been freed: a hundred opens fit again, and not one more.
    std::vector<uint32_t> handles;
    WaitUntil([&] {
        if (const uint32_t handle = Brivane().AudioOutFileOpen(1, Path("x").c_str(), nullptr, 0))
            handles.push_back(handle);
        return handles.size() == 100;
    });
    EXPECT_EQ(100u, handles.size());
    EXPECT_EQ(0u, Brivane().AudioOutFileOpen(1, Path("x").c_str(), nullptr, 0)) << "the 101st open";
    Brivane().UnInitBrivane();
}

}  // namespace
