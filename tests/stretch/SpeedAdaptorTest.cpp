// The speed adaptor's feeding, draining and allocation failures.
#include <gtest/gtest.h>

#include "FailingAllocations.h"
#include "StretchSupport.h"
#include "WaveTestSupport.h"
#include "stretch/SpeedAdaptor.h"

namespace {

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

// Each allocation refused in turn fails the engine's creation or leaves an adaptor that stretches: no crash, no leak.
TEST(SpeedAdaptor, StretchesAsItsEngineDoesOrFailsTheEnginesCreation) {
    const std::vector<int16_t> input = NoiseSignal(8820, 2, 5);
    const BYTE *bytes = reinterpret_cast<const BYTE *>(input.data());
    const LONG total = LONG(2 * input.size());
    const std::vector<int16_t> stretched = StretchWithEngine(input, 44100, 2, 0.6f);
    Collected collected;
    collected.values.reserve(2 * input.size());  // the host's side allocates nothing while armed
    const auto scenario = [&] {
        collected.values.clear();
        CSpeedAdaptor adaptor;
        adaptor.SetOutput(&Collect, &collected);
        EXPECT_FALSE(adaptor.Process(bytes, 10000));  // no engine yet: dropped
        EXPECT_FALSE(adaptor.SetSpeed(0.6f));
        EXPECT_FALSE(adaptor.CreateEngine(PcmFormat(6, 44100, 16)));
        if (!adaptor.CreateEngine(PcmFormat(2, 44100, 16))) return false;
        adaptor.SetSpeed(0.6f);
        for (LONG pos = 0; pos < total; pos += 10000) adaptor.Process(bytes + pos, std::min(total - pos, LONG{10000}));
        adaptor.Flush();
        EXPECT_LE(collected.largest, 8192);
        return collected.values == stretched;
    };
    EXPECT_GE(failalloc::FailEachInTurn(scenario, 40), 5)
        << "the adaptor and its engine allocate at least this often, and stretch as the engine does";
}

}  // namespace
