// Media read and decoded a little ahead of the host, not all at once: the host's data events are
// still exactly those of the whole medium read in one go.
#include "PlaybackHost.h"

namespace {

TEST_F(PlaybackTest, StreamedPlaysHandOverTheWholeMediumInEqualBlocks) {
    const Medium medium = NoiseWave(2, 44100, 16, 6000);
    const struct {
        uint32_t mode;
        int speed;
    } cases[] = {
        {BRIVANE_MODE_DECODE, 50}, {BRIVANE_MODE_DECODE, 150}, {BRIVANE_MODE_DECODE, 200},
        {BRIVANE_MODE_WAVE, 100},  {BRIVANE_MODE_WAVE, 50},    {BRIVANE_MODE_WAVE, 200},
    };
    std::vector<uint32_t> handles;
    for (const auto &c : cases) {
        handles.push_back(
            host.Start(medium, Source::Memory, c.mode, [&](uint32_t h) { Brivane().AudioOutSetSpeed(h, c.speed); }));
    }
    for (uint32_t handle : handles) EXPECT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_END, 3 * Patience(medium)));
    host.Fence();

    for (size_t i = 0; i < handles.size(); ++i) {
        const std::vector<Delivery> events = host.Of(handles[i]);
        const std::string what = "mode " + std::to_string(cases[i].mode) + " speed " + std::to_string(cases[i].speed) +
                                 ": " + Sequence(events);
        ASSERT_GE(events.size(), 4u) << what;
        EXPECT_EQ(BRIVANE_EVENT_FORMAT, events[0].code) << what;
        EXPECT_EQ(BRIVANE_EVENT_PLAYING, events[1].code) << what;
        EXPECT_EQ(BRIVANE_EVENT_END, events.back().code) << what;
        // Read whole, the medium queues in blocks of one tick of play time and one shorter last block.
        const size_t block = size_t(medium.format.nAvgBytesPerSec * 50 * (cases[i].speed / 100.0) * 0.001 + 0.5);
        for (size_t e = 2; e + 2 < events.size(); ++e) {
            ASSERT_EQ(BRIVANE_EVENT_DATA, events[e].code) << what << ", event " << e;
            ASSERT_EQ(block, events[e].payload.size()) << what << ", event " << e;
        }
        EXPECT_LE(events[events.size() - 2].payload.size(), block) << what;
        EXPECT_TRUE(Data(events) == medium.pcm) << what;
        Brivane().AudioOutClose(handles[i]);
    }
}

}  // namespace
