#include "StretchSupport.h"

#include <algorithm>
#include <cstdlib>

#include "stretch/StretchEngine.h"

namespace {
uint32_t Lcg(uint32_t *state) { return *state = *state * 1664525u + 1013904223u; }
}  // namespace

std::vector<int16_t> NoiseSignal(uint32_t frames, uint32_t channels, uint32_t seed) {
    std::vector<int16_t> values(frames * channels);
    for (int16_t &v : values) {
        const uint32_t r = Lcg(&seed);
        v = (r & 0xF00) == 0 ? ((r & 1) ? 32767 : -32768) : static_cast<int16_t>(r >> 16);
    }
    return values;
}

std::vector<int16_t> SweepSignal(uint32_t frames, uint32_t channels, uint32_t rate) {
    // Integer phase and a parabolic sine: the same bits on every machine.
    std::vector<int16_t> values(frames * channels);
    uint64_t phase = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        phase += ((100 + 3900ull * i / frames) << 32) / rate;
        for (uint32_t c = 0; c < channels; ++c) {
            const int32_t t = static_cast<int16_t>((phase + (c << 30)) >> 16);
            values[i * channels + c] = static_cast<int16_t>(int64_t{t} * (32768 - std::abs(t)) / 9258);
        }
    }
    return values;
}

uint64_t Checksum(const std::vector<int16_t> &values) {
    uint64_t hash = 1469598103934665603ull;
    for (int16_t v : values) hash = (hash ^ static_cast<uint16_t>(v)) * 1099511628211ull;
    return hash;
}

std::vector<int16_t> StretchWithEngine(const std::vector<int16_t> &input, uint32_t rate, uint32_t ch, float factor,
                                       float then) {
    StretchState *engine = nullptr;
    StretchOpen(&engine, rate, ch, 16);
    StretchSetSpeed(engine, factor);
    std::vector<int16_t> output;
    int16_t piece[2 * 1000];
    const auto drain = [&] {
        while (uint32_t got = StretchReceiveSamples(engine, piece, 1000))
            output.insert(output.end(), piece, piece + got * ch);
    };
    uint32_t seed = 7;
    for (size_t pos = 0; pos < input.size();) {
        if (then != 0 && pos >= input.size() / 2) {
            StretchSetSpeed(engine, then);
            then = 0;
        }
        const size_t frames = std::min<size_t>(1 + Lcg(&seed) % 2048, (input.size() - pos) / ch);
        StretchPutSamples(engine, input.data() + pos, static_cast<uint32_t>(frames));
        drain();
        pos += frames * ch;
    }
    StretchFlush(engine);
    drain();
    StretchClose(engine);
    return output;
}
