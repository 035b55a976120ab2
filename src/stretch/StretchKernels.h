// The per-sample arithmetic of the time-stretch engine, in a plain scalar form and an SSE2 form that
// gives the same bits. Lengths are overlap lengths: powers of two from 16 to 512 frames.
#pragma once

#include <cstdint>

struct StretchKernels {
    // ref = mid × i × (length − i) / divider per value of frame i, signed 32-bit, truncating.
    void (*precomputeMono)(const int16_t *mid, int16_t *ref, uint32_t length, uint32_t divider);
    void (*precomputeStereo)(const int16_t *mid, int16_t *ref, uint32_t length, uint32_t divider);
    // Σ over frames 1..length−1 of (the frame's products, summed) >> shift, in wrapping 32-bit
    // arithmetic. ref must be 16-byte aligned.
    int32_t (*correlateMono)(const int16_t *input, const int16_t *ref, uint32_t length, uint32_t shift);
    int32_t (*correlateStereo)(const int16_t *input, const int16_t *ref, uint32_t length, uint32_t shift);
    // out = (mid × (length − i) + input × i) >> shift per value of frame i; length is 1 << shift.
    void (*overlapMono)(int16_t *out, const int16_t *mid, const int16_t *input, uint32_t shift);
    void (*overlapStereo)(int16_t *out, const int16_t *mid, const int16_t *input, uint32_t shift);
};

extern const StretchKernels kScalarStretchKernels;
#if defined(__SSE2__)
extern const StretchKernels kSse2StretchKernels;
#endif

// The kernels the engine runs, chosen when the library is built.
const StretchKernels &ActiveStretchKernels();
