// The engine's fixed FIFOs: an overflow makes room by dropping the oldest frames.
#include <gtest/gtest.h>

#include <vector>

#include "stretch/SampleFifo.h"

namespace {

TEST(SampleFifo, FixedCapacityDropsTheOldestFrames) {
    // Frame n holds n; a fixed FIFO of 8192 frames gets held frames, then put frames after them.
    struct Case {
        uint32_t held, put, expectedHeld, expectedFront;
    };
    for (const Case &c : {Case{8000, 2048, 8000, 2048}, Case{100, 8192, 8192, 100}, Case{0, 9000, 8192, 808},
                          Case{6000, 2000, 8000, 0}}) {
        std::vector<int16_t> frames(2 * (c.held + c.put));
        for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int16_t>(i / 2);
        SampleFifo fifo;
        FifoInit(&fifo, 2);
        fifo.fixedCapacity = 1;
        ASSERT_TRUE(FifoEnsureCapacity(&fifo, 8192));
        FifoPut(&fifo, frames.data(), c.held);
        FifoPut(&fifo, frames.data() + 2 * c.held, c.put);
        EXPECT_EQ(FifoCount(&fifo), c.expectedHeld) << c.held << " + " << c.put;
        EXPECT_EQ(FifoFront(&fifo)[0], static_cast<int16_t>(c.expectedFront)) << c.held << " + " << c.put;
        EXPECT_EQ(FifoFront(&fifo)[2 * FifoCount(&fifo) - 1], static_cast<int16_t>(c.held + c.put - 1));
        FifoFree(&fifo);
    }
}

}  // namespace
