// The paced queue: a late tick catches up with copied blocks (its partial block and clearing are the player's cases).
#include <gtest/gtest.h>

#include <vector>

#include "playback/PacedQueue.h"

namespace {

struct Delivery {
    const BYTE *data;
    DWORD size, positionMs;
    BYTE first;
};

// Stands in for the player: delivers until the handed-out time reaches the elapsed time.
struct Host {
    CPacedQueue queue;
    std::vector<Delivery> deliveries;

    static int Deliver(DWORD elapsedMs, DWORD, const BYTE *data, DWORD size, DWORD positionMs, void *player) {
        Host *host = static_cast<Host *>(player);
        host->deliveries.push_back({data, size, positionMs, size > 0 ? data[0] : BYTE(0)});
        return data && size > 0 && positionMs < elapsedMs ? 1 : 0;
    }

    int Drain(DWORD elapsedMs) { return queue.Drain(elapsedMs, 50, &Host::Deliver, this); }
};

// Block i of 100 bytes holds the byte i throughout.
std::vector<BYTE> Blocks(int count) {
    std::vector<BYTE> bytes;
    for (int i = 0; i < count; ++i) bytes.insert(bytes.end(), 100, BYTE(i));
    return bytes;
}

TEST(PacedQueue, ATickCatchesUpWithTheElapsedTimeAndStopsThere) {
    Host host;
    host.queue.Configure(100, 50);
    const std::vector<BYTE> pcm = Blocks(8);
    EXPECT_EQ(host.queue.Enqueue(pcm.data(), DWORD(pcm.size())), 800u);
    EXPECT_EQ(host.Drain(300), 0);
    ASSERT_EQ(host.deliveries.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(host.deliveries[i].positionMs, DWORD(50 + 50 * i));
        EXPECT_EQ(host.deliveries[i].first, BYTE(i));
        EXPECT_EQ(host.deliveries[i].size, 100u);
        EXPECT_NE(host.deliveries[i].data, pcm.data() + 100 * i) << "a block must be a copy";
    }
    host.deliveries.clear();
    EXPECT_EQ(host.Drain(1000), 1) << "the queue ran dry before catching up";
    ASSERT_EQ(host.deliveries.size(), 2u);
    EXPECT_EQ(host.deliveries[1].positionMs, 400u);
}

}  // namespace
