// The block chunker's cutting and the speed adaptor's feeding and draining.
#include <gtest/gtest.h>

#include <numeric>

#include "FailingAllocations.h"
#include "StretchSupport.h"
#include "WaveTestSupport.h"
#include "stretch/SpeedAdaptor.h"

namespace {

TEST(BlockChunker, CutsRunsIntoWholeBlocksAndKeepsTheTail) {
    std::vector<BYTE> data(10000);
    std::iota(data.begin(), data.end(), BYTE{0});
    CBlockChunker chunker;
    chunker.SetBlockSize(4096);
    LONG length = 0;
    chunker.SetInput(data.data(), 10000);
    EXPECT_EQ(chunker.Next(&length), data.data());  // whole blocks come straight from the run
    EXPECT_EQ(chunker.Next(&length), data.data() + 4096);
    EXPECT_EQ(chunker.Next(&length), nullptr);
    chunker.TakePartial(&length);
    EXPECT_EQ(length, 1808);

    // With another block size a partial block is completed from the next run before any whole block.
    chunker.SetBlockSize(1000);
    chunker.SetInput(data.data(), 1500);
    EXPECT_EQ(chunker.Next(&length), data.data());
    EXPECT_EQ(chunker.Next(&length), nullptr);
    chunker.SetInput(data.data() + 5000, 800);
    const BYTE *block = chunker.Next(&length);
    ASSERT_EQ(length, 1000);
    EXPECT_TRUE(std::equal(block, block + 500, data.data() + 1000));
    EXPECT_TRUE(std::equal(block + 500, block + 1000, data.data() + 5000));
    EXPECT_EQ(chunker.Next(&length), nullptr);  // the last 300 bytes wait in the block buffer
    chunker.SetBlockSize(1000);
    chunker.SetBlockSize(200);
    block = chunker.TakePartial(&length);
    EXPECT_EQ(length, 200);
    EXPECT_TRUE(std::equal(block, block + 200, data.data() + 5500));
}

struct Collected {
    std::vector<int16_t> values;
    LONG largest = 0;
};

LONG Collect(const BYTE *data, LONG bytes, void *context) {
    Collected *c = static_cast<Collected *>(context);
    const int16_t *values = reinterpret_cast<const int16_t *>(data);
    c->values.insert(c->values.end(), values, values + bytes / 2);
    c->largest = std::max(c->largest, bytes);
    return 0;
}

TEST(SpeedAdaptor, FeedsWholeRunsAndDrainsEverythingInPiecesOfAtMost8192Bytes) {
    const std::vector<int16_t> input = NoiseSignal(44100, 2, 9);
    const BYTE *bytes = reinterpret_cast<const BYTE *>(input.data());
    Collected collected;
    CSpeedAdaptor adaptor;
    adaptor.SetOutput(&Collect, &collected);
    EXPECT_FALSE(adaptor.Process(bytes, 10000));  // no engine yet: dropped
    EXPECT_FALSE(adaptor.SetSpeed(0.6f));
    EXPECT_FALSE(adaptor.CreateEngine(PcmFormat(6, 44100, 16)));
    ASSERT_TRUE(adaptor.CreateEngine(PcmFormat(2, 44100, 16)));
    ASSERT_TRUE(adaptor.SetSpeed(0.6f));
    for (LONG pos = 0, total = LONG(2 * input.size()); pos < total; pos += 10000)
        EXPECT_TRUE(adaptor.Process(bytes + pos, std::min(total - pos, LONG{10000})));
    adaptor.Flush();
    EXPECT_LE(collected.largest, 8192);
    EXPECT_EQ(collected.values, StretchWithEngine(input, 44100, 2, 0.6f));
}

// Every allocation of the adaptor, its chunker and its engine refused in turn: each either fails
// the engine's creation or leaves an adaptor that stretches; never a crash, a wild write or a leak.
TEST(SpeedAdaptor, EachFailedAllocationFailsTheEngineOrLeavesItWhole) {
    const std::vector<int16_t> input = NoiseSignal(8820, 2, 5);
    const BYTE *bytes = reinterpret_cast<const BYTE *>(input.data());
    const WAVEFORMATEX stereo = PcmFormat(2, 44100, 16);
    const std::vector<int16_t> stretched = StretchWithEngine(input, 44100, 2, 1.5f);
    int refused = 0;
    for (int nth = 1; nth <= 40; ++nth) {
        Collected collected;
        collected.values.reserve(2 * input.size());  // the host's side allocates nothing while armed
        failalloc::FailNth(nth);
        bool created;
        {
            CSpeedAdaptor adaptor;
            adaptor.SetOutput(&Collect, &collected);
            created = adaptor.CreateEngine(stereo);
            if (created) {
                adaptor.SetSpeed(1.5f);
                adaptor.Process(bytes, LONG(2 * input.size()));
                adaptor.Flush();
            }
        }
        const bool fired = failalloc::Fired();
        failalloc::FailNth(0);
        refused += fired;
        if (!fired) {
            EXPECT_TRUE(created) << nth;
            EXPECT_EQ(collected.values, stretched) << nth;
        }
    }
    EXPECT_GE(refused, 5) << "the adaptor and its engine allocate at least this often";
}

}  // namespace
