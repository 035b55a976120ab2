// The time-stretch engine: changes the speed of interleaved 16-bit mono or stereo PCM without
// changing its pitch, by cross-fading overlapping sequences at their best-matching offsets. Every
// output bit follows from the input through integer arithmetic and a few single-precision steps.
#pragma once

#include <cstdint>

#include "stretch/SampleFifo.h"

struct StretchState {
    uint32_t channels;
    uint32_t sampleRate;
    uint32_t sequenceMs;
    uint32_t seekWindowMs;
    uint32_t overlapMs;
    uint32_t sampleReq;  // input frames held before one sequence is processed
    float tempo;
    int16_t *midBuffer;     // tail of the previous sequence, waiting to be cross-faded; two-channel sized
    int16_t *refMidBuffer;  // sloped copy of midBuffer, the correlation reference; 16-byte aligned
    void *refMidBufferRaw;
    uint32_t overlapLength;  // cross-fade frames, a power of two 16..512
    uint32_t overlapDividerBits;
    uint32_t slopingDivider;
    uint32_t seekLength;        // candidate offsets
    uint32_t seekWindowLength;  // frames in one sequence
    uint32_t maxOffset;
    float nominalSkip;  // ideal input advance per sequence
    float skipFract;    // fraction of the advance carried to the next sequence
    SampleFifo outputFifo;
    SampleFifo inputFifo;
    SampleFifo *output;
    uint32_t midBufferDirty;
};

// The record is handed out before it is configured: the caller owns it even when 0 is returned.
int StretchOpen(StretchState **engine, uint32_t sampleRate, uint32_t channels, uint16_t bitsPerSample);
// Factors outside 0.5..2.0 are ignored; others are quantised to whole percent. Always 1.
int StretchSetSpeed(StretchState *engine, float factor);
// Takes at most 2048 frames; returns the frames waiting in the output.
uint32_t StretchPutSamples(StretchState *engine, const int16_t *frames, uint32_t count);
uint32_t StretchReceiveSamples(StretchState *engine, int16_t *destination, uint32_t maxFrames);
// Pushes silence until the held input yields output, then returns the engine to priming.
void StretchFlush(StretchState *engine);
int StretchClose(StretchState *engine);
