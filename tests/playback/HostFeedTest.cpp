// The host feed's paced delivery on its tick thread: blocks at play pace, the partial block held
// while the stream runs on, and one end once the queue has run dry after the end of the stream.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "playback/HostFeed.h"

namespace {

class RecordingOwner final : public IHostFeedOwner {
public:
    BOOL IsActive() override { return TRUE; }
    BOOL TakesData() override { return TRUE; }
    void RaiseData(const BYTE *, DWORD size) override {
        std::lock_guard<std::mutex> hold(m_mutex);
        last = std::chrono::steady_clock::now();
        sizes.push_back(size);
    }
    BOOL HasEnded() override { return ended.load(); }
    // The player takes a due end once.
    void OnPacedEnd() override {
        ++ends;
        ended = FALSE;
    }
    void OnTick() override {}
    std::vector<DWORD> Sizes() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return sizes;
    }

    std::atomic<BOOL> ended{FALSE};
    std::atomic<int> ends{0};
    std::chrono::steady_clock::time_point last;

private:
    std::mutex m_mutex;
    std::vector<DWORD> sizes;
};

TEST(HostFeedTest, PacedBlocksKeepPlayPaceAndTheEndFollowsTheLastOnce) {
    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    RecordingOwner owner;
    {
        CHostFeed feed(&owner, &lock);
        ASSERT_TRUE(feed.StartTicks());
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(S_OK, feed.StartPacing(400, 50));
        const std::vector<BYTE> pcm(6 * 400 + 100, 1);
        feed.Hand(pcm.data(), static_cast<DWORD>(pcm.size()), TRUE);

        const std::vector<DWORD> whole(6, 400);
        for (int waited = 0; waited < 3000 && owner.Sizes().size() < whole.size(); waited += 10) Sleep(10);
        Sleep(150);
        EXPECT_EQ(whole, owner.Sizes());
        // The sixth block of 50 ms is due 250 ms into the play, never sooner.
        EXPECT_GE(owner.last - started, std::chrono::milliseconds(250));
        EXPECT_EQ(100u, feed.QueuedBytes());
        EXPECT_EQ(0, owner.ends.load());

        owner.ended = TRUE;
        feed.EndOfStream();
        for (int waited = 0; waited < 3000 && owner.ends.load() == 0; waited += 10) Sleep(10);
        Sleep(200);
        std::vector<DWORD> all = whole;
        all.push_back(100);
        EXPECT_EQ(all, owner.Sizes());
        EXPECT_EQ(1, owner.ends.load());
        EXPECT_EQ(0u, feed.QueuedBytes());
        feed.StopTicks();
    }
    DeleteCriticalSection(&lock);
}

}  // namespace
