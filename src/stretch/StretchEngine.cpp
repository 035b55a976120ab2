#include "stretch/StretchEngine.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "stretch/StretchKernels.h"

namespace {

const uint32_t kMaxPutFrames = 2048;
const uint32_t kFlushBlockFrames = 64;
const uint32_t kMaxFlushBlocks = 128;
const uint32_t kScanRows = 4;
const uint32_t kScanColumns = 24;

// Coarse to fine: each row refines around the best offset the previous rows found.
const int32_t kScanOffsets[kScanRows][kScanColumns] = {
    {124, 186, 248, 310,  372,  434,  496,  558,  620,  682,  744,  806,
     868, 930, 992, 1054, 1116, 1178, 1240, 1302, 1364, 1426, 1488, 0},
    {-100, -75, -50, -25, 25, 50, 75, 100},
    {-20, -15, -10, -5, 5, 10, 15, 20},
    {-4, -3, -2, -1, 1, 2, 3, 4},
};

uint32_t MsToFrames(uint32_t rate, uint32_t ms) { return rate * ms / 1000; }

void ClearMidBuffer(StretchState *s) {
    if (!s->midBufferDirty) return;
    std::memset(s->midBuffer, 0, s->overlapLength * 4);
    s->midBufferDirty = 0;
}

// FALSE when the longer overlap's buffers could not be allocated; the engine is then unusable.
bool AcceptOverlapLength(StretchState *s, uint32_t length) {
    const uint32_t previous = s->overlapLength;
    s->overlapLength = length;
    if (length > previous) {
        std::free(s->midBuffer);
        std::free(s->refMidBufferRaw);
        s->midBuffer = static_cast<int16_t *>(std::malloc(length * 4));
        s->refMidBufferRaw = std::malloc(length * 4 + 16);
        if (!s->midBuffer || !s->refMidBufferRaw) {
            std::free(s->midBuffer);
            std::free(s->refMidBufferRaw);
            s->midBuffer = nullptr;
            s->refMidBufferRaw = nullptr;
            s->overlapLength = 0;
            return false;
        }
        s->refMidBuffer = reinterpret_cast<int16_t *>((reinterpret_cast<uintptr_t>(s->refMidBufferRaw) + 15) &
                                                      ~static_cast<uintptr_t>(15));
        s->midBufferDirty = 1;
        ClearMidBuffer(s);
    }
    s->slopingDivider = (length * length - 1) / 3;
    return true;
}

bool ComputeOverlapLength(StretchState *s) {
    const double frames = static_cast<double>(s->overlapMs * s->sampleRate) * 0.001;
    // The nearest power of two; clamping before the truncation keeps it defined for any rate.
    double bits = std::log(frames) / std::log(2.0) + 0.5;
    if (!(bits >= 4)) bits = 4;
    if (bits > 9) bits = 9;
    s->overlapDividerBits = static_cast<uint32_t>(bits);
    return AcceptOverlapLength(s, 1u << s->overlapDividerBits);
}

void SetTempo(StretchState *s, float tempo) {
    s->tempo = tempo;
    s->skipFract = 0;
    const double skip = static_cast<double>(tempo) * static_cast<double>(s->seekWindowLength - s->overlapLength);
    s->nominalSkip = static_cast<float>(skip);
    const uint32_t intSkip = static_cast<uint32_t>(static_cast<int64_t>(skip + 0.5));
    const uint32_t needed = intSkip + s->overlapLength;
    s->sampleReq = (needed > s->seekWindowLength ? needed : s->seekWindowLength) + s->maxOffset;
}

bool DeriveFromRate(StretchState *s) {
    s->seekLength = MsToFrames(s->sampleRate, s->seekWindowMs);
    s->maxOffset = s->seekLength;
    s->seekWindowLength = MsToFrames(s->sampleRate, s->sequenceMs);
    if (!ComputeOverlapLength(s)) return false;
    SetTempo(s, s->tempo);
    return true;
}

bool SetParameters(StretchState *s, uint32_t rate, uint32_t sequenceMs, uint32_t seekWindowMs, uint32_t overlapMs) {
    s->sampleRate = rate;
    s->sequenceMs = sequenceMs;
    s->seekWindowMs = seekWindowMs;
    s->overlapMs = overlapMs;
    return DeriveFromRate(s);
}

void SetChannels(StretchState *s, uint32_t channels) {
    if (channels == s->channels) return;
    s->channels = channels;
    FifoSetChannels(&s->inputFifo, channels);
    FifoSetChannels(&s->outputFifo, channels);
}

int SetBufferLimits(StretchState *s, uint32_t bytesPerSample) {
    const uint32_t frameBytes = s->channels * bytesPerSample;
    if (frameBytes == 0) return 0;  // samples narrower than a byte leave nothing to size the FIFOs by
    s->outputFifo.fixedCapacity = 1;
    if (!FifoEnsureCapacity(&s->outputFifo, 20480 / frameBytes)) return 0;
    s->inputFifo.fixedCapacity = 1;
    return FifoEnsureCapacity(&s->inputFifo, 32768 / frameBytes) ? 1 : 0;
}

uint32_t SeekBestOffset(StretchState *s, const int16_t *input) {
    const StretchKernels &kernels = ActiveStretchKernels();
    const bool stereo = s->channels == 2;
    (stereo ? kernels.precomputeStereo : kernels.precomputeMono)(s->midBuffer, s->refMidBuffer, s->overlapLength,
                                                                 s->slopingDivider);
    const auto correlate = stereo ? kernels.correlateStereo : kernels.correlateMono;
    int32_t bestCorr = INT32_MIN;
    uint32_t bestOffs = 0;
    uint32_t corrOffset = 0;
    for (uint32_t row = 0; row < kScanRows; ++row) {
        for (uint32_t column = 0; column < kScanColumns && kScanOffsets[row][column] != 0; ++column) {
            // A negative step below offset 0 wraps to a huge candidate and ends the row.
            const uint32_t candidate = corrOffset + static_cast<uint32_t>(kScanOffsets[row][column]);
            if (candidate >= s->seekLength) break;
            const int32_t corr =
                correlate(input + candidate * s->channels, s->refMidBuffer, s->overlapLength, s->overlapDividerBits);
            if (corr > bestCorr) {
                bestCorr = corr;
                bestOffs = candidate;
            }
        }
        corrOffset = bestOffs;
    }
    return bestOffs;
}

// Cross-fades the pending tail with the input at position input into the output.
void CrossFadeIntoOutput(StretchState *s, const int16_t *input) {
    int16_t *room = FifoEnd(&s->outputFifo, s->overlapLength);
    if (!room) return;
    const StretchKernels &kernels = ActiveStretchKernels();
    (s->channels == 2 ? kernels.overlapStereo : kernels.overlapMono)(room, s->midBuffer, input, s->overlapDividerBits);
    FifoCommit(&s->outputFifo, s->overlapLength);
}

void ProcessNominalTempo(StretchState *s) {
    if (s->midBufferDirty) {
        if (FifoCount(&s->inputFifo) < s->overlapLength) return;
        CrossFadeIntoOutput(s, FifoFront(&s->inputFifo));
        FifoReceive(&s->inputFifo, s->overlapLength);
        ClearMidBuffer(s);
    }
    FifoMoveAllFrom(&s->outputFifo, &s->inputFifo);
}

void Process(StretchState *s) {
    if (s->tempo == 1.0f) {
        ProcessNominalTempo(s);
        return;
    }
    const uint32_t channels = s->channels;
    const uint32_t overlap = s->overlapLength;
    if (!s->midBufferDirty) {
        if (FifoCount(&s->inputFifo) < overlap) return;
        std::memcpy(s->midBuffer, FifoFront(&s->inputFifo), channels * 2 * overlap);
        FifoReceive(&s->inputFifo, overlap);
        s->midBufferDirty = 1;
    }
    while (FifoCount(&s->inputFifo) >= s->sampleReq) {
        const int16_t *input = FifoFront(&s->inputFifo);
        const uint32_t offset = SeekBestOffset(s, input);
        CrossFadeIntoOutput(s, input + offset * channels);
        const int32_t middle = static_cast<int32_t>(s->seekWindowLength - 2 * overlap);
        if (middle > 0) FifoPut(&s->outputFifo, input + (offset + overlap) * channels, static_cast<uint32_t>(middle));
        std::memcpy(s->midBuffer, input + (offset + s->seekWindowLength - overlap) * channels, channels * 2 * overlap);
        s->midBufferDirty = 1;
        const float sum = s->skipFract + s->nominalSkip;
        const uint32_t skip = static_cast<uint32_t>(sum);
        s->skipFract = sum - static_cast<float>(skip);
        FifoReceive(&s->inputFifo, skip);
    }
}

}  // namespace

int StretchOpen(StretchState **engine, uint32_t sampleRate, uint32_t channels, uint16_t bitsPerSample) {
    StretchState *s = new (std::nothrow) StretchState{};
    *engine = s;
    if (!s) return 0;
    s->channels = 2;
    FifoInit(&s->outputFifo, 2);
    FifoInit(&s->inputFifo, 2);
    s->tempo = 1.0f;
    s->output = &s->outputFifo;
    bool ready = SetParameters(s, 44100, 34, 12, 10);
    s->sampleRate = sampleRate;
    ready = ready && DeriveFromRate(s);
    if (ready) SetChannels(s, channels);
    // A half-made engine is never handed out: the caller sees no engine and a failure.
    if (ready && SetBufferLimits(s, bitsPerSample / 8)) return 1;
    StretchClose(s);
    *engine = nullptr;
    return 0;
}

int StretchSetSpeed(StretchState *engine, float factor) {
    if (!(factor >= 0.5f && factor <= 2.0f)) return 1;
    const int32_t percent = static_cast<int32_t>(static_cast<double>(factor) * 100.0 - 100.0);
    SetTempo(engine, static_cast<float>(percent) * 0.01f + 1.0f);
    return 1;
}

uint32_t StretchPutSamples(StretchState *engine, const int16_t *frames, uint32_t count) {
    FifoPut(&engine->inputFifo, frames, count < kMaxPutFrames ? count : kMaxPutFrames);
    Process(engine);
    return FifoCount(engine->output);
}

uint32_t StretchReceiveSamples(StretchState *engine, int16_t *destination, uint32_t maxFrames) {
    return FifoReceiveInto(engine->output, destination, maxFrames);
}

void StretchFlush(StretchState *engine) {
    static const int16_t silence[kFlushBlockFrames * 2] = {};
    const uint32_t before = FifoCount(engine->output);
    for (uint32_t block = 0; block < kMaxFlushBlocks; ++block) {
        FifoPut(&engine->inputFifo, silence, kFlushBlockFrames);
        Process(engine);
        if (FifoCount(engine->output) != before) break;
    }
    FifoClear(&engine->inputFifo);
    ClearMidBuffer(engine);
}

int StretchClose(StretchState *engine) {
    FifoFree(&engine->outputFifo);
    FifoFree(&engine->inputFifo);
    std::free(engine->midBuffer);
    std::free(engine->refMidBufferRaw);
    delete engine;
    return 1;
}
