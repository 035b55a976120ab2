#include "stretch/StretchKernels.h"

namespace {

// Frames of channels values; every sum wraps in 32 bits as the engine's arithmetic defines.
template <uint32_t channels>
void Precompute(const int16_t *mid, int16_t *ref, uint32_t length, uint32_t divider) {
    for (uint32_t i = 0; i < length; ++i) {
        const int32_t weight = static_cast<int32_t>(i * (length - i));
        for (uint32_t c = 0; c < channels; ++c) {
            const uint32_t k = i * channels + c;
            ref[k] = static_cast<int16_t>(mid[k] * weight / static_cast<int32_t>(divider));
        }
    }
}

template <uint32_t channels>
int32_t Correlate(const int16_t *input, const int16_t *ref, uint32_t length, uint32_t shift) {
    uint32_t sum = 0;
    for (uint32_t i = 1; i < length; ++i) {
        uint32_t frame = 0;
        for (uint32_t c = 0; c < channels; ++c) {
            const uint32_t k = i * channels + c;
            frame += static_cast<uint32_t>(input[k] * ref[k]);
        }
        sum += static_cast<uint32_t>(static_cast<int32_t>(frame) >> shift);
    }
    return static_cast<int32_t>(sum);
}

template <uint32_t channels>
void Overlap(int16_t *out, const int16_t *mid, const int16_t *input, uint32_t shift) {
    const int32_t length = 1 << shift;
    for (int32_t i = 0; i < length; ++i) {
        for (uint32_t c = 0; c < channels; ++c) {
            const uint32_t k = static_cast<uint32_t>(i) * channels + c;
            out[k] = static_cast<int16_t>((mid[k] * (length - i) + input[k] * i) >> shift);
        }
    }
}

}  // namespace

const StretchKernels kScalarStretchKernels = {Precompute<1>, Precompute<2>, Correlate<1>,
                                              Correlate<2>,  Overlap<1>,    Overlap<2>};

const StretchKernels &ActiveStretchKernels() {
#if defined(__SSE2__)
    return kSse2StretchKernels;
#else
    return kScalarStretchKernels;
#endif
}
