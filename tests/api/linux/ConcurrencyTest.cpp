// Many host threads opening, commanding and closing against one service thread.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "HostHarness.h"

namespace {

// Once the hosts are done, only the fence instance is alive. Commands run in posting order, so when
// the fence's failure arrives every earlier close has run, and any later event is a fault.
struct StressLog {
    std::mutex lock;
    bool hostsDone = false;
    std::vector<uint32_t> afterDone;

    static void BRIVANE_CALL OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t, const void *, uint32_t) {
        StressLog *log = reinterpret_cast<StressLog *>(user);
        std::lock_guard<std::mutex> guard(log->lock);
        if (log->hostsDone) log->afterDone.push_back(handle);
    }
    // Events delivered after the fence's, or -1 while the fence has not arrived.
    int EventsAfter(uint32_t fence) {
        std::lock_guard<std::mutex> guard(lock);
        for (size_t i = 0; i < afterDone.size(); ++i)
            if (afterDone[i] == fence) return static_cast<int>(afterDone.size() - i - 1);
        return -1;
    }
};

TEST(Concurrency, EightHostThreadsOpenPostAndCloseTenThousandTimes) {
    ASSERT_EQ(1u, InitBrivane());
    StressLog log;
    const int kThreads = 8, kRounds = 10000;
    std::atomic<int> opened{0}, refused{0};
    std::vector<std::thread> hosts;
    for (int t = 0; t < kThreads; ++t) {
        hosts.emplace_back([&, t] {
            const char16_t path[] = u"missing.wma";
            const char image[8] = {};
            for (int i = 0; i < kRounds;) {
                uint32_t handle = (i + t) % 2 ? AudioOutFileOpen(1, path, &StressLog::OnPlay, reinterpret_cast<BRIVANE_USER>(&log))
                                              : AudioOutOpen(1, image, sizeof image, &StressLog::OnPlay, reinterpret_cast<BRIVANE_USER>(&log));
                if (!handle) {
                    // The table is full until the service thread catches up with the closes.
                    ++refused;
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                ++opened;
                AudioOutPlay(handle, i % 3 == 0);
                AudioOutSeek(handle, i);
                AudioOutSetVolume(handle, i % 101);
                AudioOutGetWholeDuration(handle);
                (i % 5 ? AudioOutClose : AudioInClose)(handle);
                ++i;
            }
        });
    }
    for (std::thread &host : hosts) host.join();

    {
        std::lock_guard<std::mutex> guard(log.lock);
        log.hostsDone = true;
    }
    uint32_t fence = 0;
    for (int tries = 0; !fence && tries < 500; ++tries) {
        fence = AudioOutFileOpen(1, Path("fence").c_str(), &StressLog::OnPlay, reinterpret_cast<BRIVANE_USER>(&log));
        if (!fence) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(0u, fence);
    for (int waited = 0; log.EventsAfter(fence) < 0 && waited < 30000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(0, log.EventsAfter(fence));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(0, log.EventsAfter(fence)) << "no event of a closed instance arrives after its close ran";
    EXPECT_EQ(kThreads * kRounds, opened);
    AudioOutClose(fence);

    // Every entry has been freed: a hundred opens fit again.
    std::vector<uint32_t> handles;
    for (int tries = 0; handles.size() < 100 && tries < 1000; ++tries) {
        uint32_t handle = AudioOutFileOpen(1, Path("x").c_str(), nullptr, 0);
        if (handle)
            handles.push_back(handle);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(100u, handles.size());
    UnInitBrivane();
}

}  // namespace
