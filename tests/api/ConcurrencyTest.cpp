// Many host threads opening, commanding and closing against one service thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "HostHarness.h"

namespace {

TEST(Concurrency, EightHostThreadsOpenPostAndCloseThousandsOfTimes) {
    ASSERT_EQ(1u, Brivane().InitBrivane());
    HostLog log;
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
                        ? Brivane().AudioOutFileOpen(1, Path("missing.wma").c_str(), &HostLog::OnPlay, log.User())
                        : Brivane().AudioOutOpen(1, image, sizeof image, &HostLog::OnPlay, log.User());
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
