// The engine at its edges: speeds out of range, pass-through with the per-put limit and the fade-out
// of a pending tail, flush, and the fixed FIFOs.
#include <gtest/gtest.h>

#include <cmath>

#include "StretchSupport.h"
#include "stretch/StretchEngine.h"

namespace {

struct Engine {
    Engine(uint32_t rate, uint32_t channels, float factor) {
        EXPECT_EQ(StretchOpen(&s, rate, channels, 16), 1);
        StretchSetSpeed(s, factor);
    }
    ~Engine() { StretchClose(s); }
    uint32_t Put(const std::vector<int16_t> &values, size_t frame, uint32_t frames) {
        return StretchPutSamples(s, values.data() + frame * s->channels, frames);
    }
    std::vector<int16_t> Receive() {
        std::vector<int16_t> out(FifoCount(s->output) * s->channels);
        StretchReceiveSamples(s, out.data(), 100000);
        return out;
    }
    StretchState *s = nullptr;
};

// A factor outside 0.5..2 is ignored (the golden output pins the tempo of those inside).
TEST(StretchEngine, IgnoresSpeedFactorsOutOfRange) {
    for (const float factor : {0.49f, 2.01f, NAN}) {
        Engine e(44100, 2, 1.5f);
        EXPECT_EQ(StretchSetSpeed(e.s, factor), 1);
        EXPECT_EQ(e.s->tempo, 1.5f) << "factor " << factor;
    }
}

TEST(StretchEngine, PassesThroughAtNormalSpeedAfterFadingInOverThePendingTail) {
    const std::vector<int16_t> input = NoiseSignal(7000, 2, 4);
    Engine e(44100, 2, 1.0f);
    EXPECT_EQ(e.Put(input, 0, 3000), 2048u);  // one put takes at most 2048 frames
    EXPECT_EQ(e.Receive(), std::vector<int16_t>(input.begin(), input.begin() + 4096));

    StretchSetSpeed(e.s, 1.5f);
    e.Put(input, 0, 2048);
    e.Put(input, 2048, 2048);
    e.Receive();
    const std::vector<int16_t> tail(e.s->midBuffer, e.s->midBuffer + 1024);
    std::vector<int16_t> stream(FifoFront(&e.s->inputFifo),
                                FifoFront(&e.s->inputFifo) + 2 * FifoCount(&e.s->inputFifo));
    stream.insert(stream.end(), input.begin() + 10000, input.begin() + 14000);
    StretchSetSpeed(e.s, 1.0f);
    e.Put(input, 5000, 2000);
    const std::vector<int16_t> out = e.Receive();
    ASSERT_EQ(out.size(), stream.size());
    for (int32_t k = 0, i = 0; k < int32_t(out.size()); i = ++k / 2) {
        const double faded = std::floor((tail[k % 1024] * (512 - i) + stream[k] * i) / 512.0);
        ASSERT_EQ(out[k], i < 512 ? faded : stream[k]) << "value " << k;
    }
}

TEST(StretchEngine, FlushStopsAtTheFirstNewOutputAndPrimesAgain) {
    struct Case {
        float factor;
        uint32_t held, output;
    };
    const std::vector<int16_t> input = NoiseSignal(2000, 2, 5);
    for (const Case &c :
         {Case{1.5f, 1000, 987}, Case{1.5f, 0, 987}, Case{1.0f, 0, 64}, Case{1.0f, 100, 164}, Case{0.5f, 2000, 987}}) {
        Engine e(44100, 2, c.factor);
        e.Put(input, 0, c.held);
        StretchFlush(e.s);
        EXPECT_EQ(FifoCount(e.s->output), c.output) << c.factor << ", " << c.held;
        EXPECT_EQ(FifoCount(&e.s->inputFifo) + e.s->midBufferDirty, 0u);
    }
}

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
