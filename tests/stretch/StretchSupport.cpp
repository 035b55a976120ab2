#include "StretchSupport.h"

#include <algorithm>
#include <cmath>
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

std::vector<int16_t> StretchWithEngine(const std::vector<int16_t> &input, uint32_t rate, uint32_t ch, float factor) {
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

std::vector<int16_t> StretchWithReference(const std::vector<int16_t> &signal, uint32_t rate, uint32_t ch,
                                          float factor) {
    static const int32_t kRows[4][23] = {{124, 186, 248, 310,  372,  434,  496,  558,  620,  682,  744, 806,
                                          868, 930, 992, 1054, 1116, 1178, 1240, 1302, 1364, 1426, 1488},
                                         {-100, -75, -50, -25, 25, 50, 75, 100},
                                         {-20, -15, -10, -5, 5, 10, 15, 20},
                                         {-4, -3, -2, -1, 1, 2, 3, 4}};
    const int64_t sequence = rate * 34 / 1000, seek = rate * 12 / 1000;
    const int32_t bits = std::clamp(static_cast<int32_t>(std::log2(rate / 100.0) + 0.5), 4, 9);
    const int32_t length = 1 << bits, divider = (length * length - 1) / 3;
    const float tempo = static_cast<float>(static_cast<int32_t>(double{factor} * 100 - 100)) * 0.01f + 1.0f;
    const float nominalSkip = static_cast<float>(double{tempo} * (sequence - length));
    const int64_t required =
        std::max<int64_t>(std::llround(double{tempo} * (sequence - length)) + length, sequence) + seek;

    std::vector<int16_t> in = signal, out, mid, ref(length * ch);
    int64_t pos = 0;  // first unconsumed frame
    float skipFract = 0;
    const auto at = [&](int64_t frame, uint32_t c) { return int32_t{in[(pos + frame) * ch + c]}; };
    const auto process = [&] {
        if (mid.empty() && int64_t(in.size() / ch) - pos >= length) {
            mid.assign(in.begin() + pos * ch, in.begin() + (pos + length) * ch);
            pos += length;
        }
        while (!mid.empty() && int64_t(in.size() / ch) - pos >= required) {
            for (int32_t k = 0, i = 0; k < length * int32_t(ch); i = ++k / int32_t(ch))
                ref[k] = static_cast<int16_t>(mid[k] * (i * (length - i)) / divider);
            int64_t best = INT32_MIN, offset = 0, base = 0;
            for (const auto &row : kRows) {
                for (int32_t step : row) {
                    if (step == 0 || base + step < 0 || base + step >= seek) break;
                    uint32_t corr = 0;
                    for (int32_t i = 1; i < length; ++i) {
                        int64_t frame = 0;
                        for (uint32_t c = 0; c < ch; ++c) frame += at(base + step + i, c) * ref[i * ch + c];
                        corr += static_cast<uint32_t>(static_cast<int32_t>(static_cast<uint32_t>(frame)) >> bits);
                    }
                    if (static_cast<int32_t>(corr) > best) best = static_cast<int32_t>(corr), offset = base + step;
                }
                base = offset;
            }
            for (int32_t i = 0; i < sequence - length; ++i)
                for (uint32_t c = 0; c < ch; ++c)
                    out.push_back(i >= length ? at(offset + i, c)
                                              : std::floor((mid[i * ch + c] * (length - i) + at(offset + i, c) * i) /
                                                           double(length)));
            for (int32_t k = 0; k < length * int32_t(ch); ++k) mid[k] = at(offset + sequence - length + k / ch, k % ch);
            const float sum = skipFract + nominalSkip;
            skipFract = sum - static_cast<float>(static_cast<int64_t>(sum));
            pos += static_cast<int64_t>(sum);
        }
    };
    process();
    const size_t before = out.size();
    for (int block = 0; block < 128 && out.size() == before; ++block) {
        in.insert(in.end(), 64 * ch, 0);
        process();
    }
    return out;
}
