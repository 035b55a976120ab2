// The engine's output pinned bit for bit by checksums that matched a sample-by-sample rendering of its arithmetic.
#include <gtest/gtest.h>

#include "StretchSupport.h"

namespace {

TEST(StretchGolden, EngineOutputKeepsItsPinnedChecksums) {
    const struct {
        bool sweep;
        uint32_t rate, channels;
        float factor, then;
        size_t values;
        uint64_t checksum;
    } cases[] = {
        {false, 44100, 2, 0.5f, 0, 521136, 0x55fa7128be0cb300ull},
        {false, 44100, 2, 1.5f, 0, 175686, 0x0cc36996de3f3974ull},
        // A factor set halfway outside 0.5..2 is ignored; 1 passes through after a fade-in over the pending tail.
        {false, 44100, 2, 1.5f, 0.49f, 175686, 0x0cc36996de3f3974ull},
        {false, 44100, 2, 1.5f, 2.01f, 175686, 0x0cc36996de3f3974ull},
        {false, 44100, 2, 1.5f, 1.0f, 220276, 0x764defce4ec7314aull},
        {true, 44100, 2, 0.7f, 0, 373086, 0x714ff1e88372819aull},
        {true, 44100, 2, 2.0f, 0, 132258, 0xf91db949c4e117c4ull},
        {true, 44100, 1, 1.15f, 0, 115479, 0xa36eaf121f315ebeull},
        {false, 16000, 1, 0.7f, 0, 67808, 0x98283936a964aa8full},
        {true, 16000, 1, 1.5f, 0, 32032, 0x7196be3390c9ea97ull},
        {false, 22050, 2, 1.25f, 0, 105502, 0x813e3fb6a82e3426ull},
        {true, 8000, 1, 0.5f, 0, 47424, 0xa6398484b2cdccf5ull},
        {false, 8000, 2, 1.9f, 0, 25376, 0x30189a4bdc00dedcull},
        {true, 48000, 2, 0.85f, 0, 331520, 0x827e8199c9234e4cull},
        {false, 11025, 1, 2.0f, 0, 16482, 0x5b6d7cca9513417cull},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " channels, factor " << c.factor
                                        << " then " << c.then);
        const std::vector<int16_t> input =
            c.sweep ? SweepSignal(3 * c.rate, c.channels, c.rate) : NoiseSignal(3 * c.rate, c.channels, c.rate);
        const std::vector<int16_t> output = StretchWithEngine(input, c.rate, c.channels, c.factor, c.then);
        EXPECT_EQ(output.size(), c.values);
        EXPECT_EQ(Checksum(output), c.checksum);
    }
}

}  // namespace
