// The SSE2 kernels must give the scalar kernels' bits on every input the engine can hand them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "StretchSupport.h"
#include "stretch/StretchKernels.h"

#if defined(__SSE2__)
namespace {

TEST(StretchKernels, Sse2MatchesScalarOnMillionsOfFrames) {
    const StretchKernels &scalar = kScalarStretchKernels;
    const StretchKernels &sse2 = kSse2StretchKernels;
    alignas(16) int16_t ref[1024];
    alignas(16) int16_t scalarOut[1024];
    alignas(16) int16_t sse2Out[1024];
    for (uint32_t trial = 0; trial < 12000; ++trial) {
        const uint32_t bits = 4 + trial % 6;
        const uint32_t length = 1u << bits;
        const uint32_t divider = (length * length - 1) / 3;
        // Every seventh trial is all -32768, where a stereo frame's two products wrap past 2^31.
        std::vector<int16_t> values = NoiseSignal(4 * length + 1, 1, trial);
        if (trial % 7 == 0) std::fill(values.begin(), values.end(), int16_t{-32768});
        const int16_t *mid = values.data() + 1;  // the engine's positions are not aligned
        const int16_t *input = values.data() + 2 * length + 1;
        std::memcpy(ref, values.data() + 2 * length, 4 * length);
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", length " << length);

        EXPECT_EQ(scalar.correlateMono(input, ref, length, bits), sse2.correlateMono(input, ref, length, bits));
        EXPECT_EQ(scalar.correlateStereo(input, ref, length, bits), sse2.correlateStereo(input, ref, length, bits));
        const auto same = [&](uint32_t count) { return std::equal(scalarOut, scalarOut + count, sse2Out); };
        scalar.precomputeMono(mid, scalarOut, length, divider);
        sse2.precomputeMono(mid, sse2Out, length, divider);
        EXPECT_TRUE(same(length));
        scalar.precomputeStereo(mid, scalarOut, length, divider);
        sse2.precomputeStereo(mid, sse2Out, length, divider);
        EXPECT_TRUE(same(2 * length));
        scalar.overlapMono(scalarOut, mid, input, bits);
        sse2.overlapMono(sse2Out, mid, input, bits);
        EXPECT_TRUE(same(length));
        scalar.overlapStereo(scalarOut, mid, input, bits);
        sse2.overlapStereo(sse2Out, mid, input, bits);
        EXPECT_TRUE(same(2 * length));
        if (HasFailure()) return;
    }
}

}  // namespace
#endif
