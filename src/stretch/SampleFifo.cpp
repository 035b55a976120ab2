#include "stretch/SampleFifo.h"

#include <cstdlib>
#include <cstring>

namespace {

const uint32_t kSizeStep = 4096;

uint32_t FrameBytes(const SampleFifo *fifo) { return fifo->channels * 2; }

int16_t *AlignUp(void *raw) {
    return reinterpret_cast<int16_t *>((reinterpret_cast<uintptr_t>(raw) + 15) & ~static_cast<uintptr_t>(15));
}

}  // namespace

void FifoInit(SampleFifo *fifo, uint32_t channels) {
    *fifo = SampleFifo{};
    fifo->channels = channels;
}

void FifoFree(SampleFifo *fifo) {
    std::free(fifo->raw);
    fifo->raw = nullptr;
    fifo->buffer = nullptr;
    fifo->sizeInBytes = 0;
    fifo->samplesInBuffer = 0;
    fifo->bufferPos = 0;
}

void FifoRewind(SampleFifo *fifo) {
    if (fifo->bufferPos == 0) return;
    std::memmove(fifo->buffer, FifoFront(fifo), fifo->samplesInBuffer * FrameBytes(fifo));
    fifo->bufferPos = 0;
}

uint32_t FifoCapacity(const SampleFifo *fifo) { return fifo->sizeInBytes / FrameBytes(fifo); }

uint32_t FifoCount(const SampleFifo *fifo) { return fifo->samplesInBuffer; }

bool FifoEnsureCapacity(SampleFifo *fifo, uint32_t frames) {
    if (frames <= FifoCapacity(fifo)) {
        FifoRewind(fifo);
        return true;
    }
    const uint32_t size = (frames * FrameBytes(fifo) + kSizeStep - 1) / kSizeStep * kSizeStep;
    void *raw = std::malloc(size + 16);
    if (!raw) return false;
    int16_t *buffer = AlignUp(raw);
    if (fifo->samplesInBuffer) std::memcpy(buffer, FifoFront(fifo), fifo->samplesInBuffer * FrameBytes(fifo));
    std::free(fifo->raw);
    fifo->raw = raw;
    fifo->buffer = buffer;
    fifo->sizeInBytes = size;
    fifo->bufferPos = 0;
    return true;
}

int16_t *FifoEnd(SampleFifo *fifo, uint32_t slack) {
    if (fifo->fixedCapacity) {
        FifoRewind(fifo);
        const uint32_t capacity = FifoCapacity(fifo);
        if (slack > capacity) return nullptr;
        if (fifo->samplesInBuffer + slack > capacity) {
            const uint32_t kept = fifo->samplesInBuffer > slack ? fifo->samplesInBuffer - slack : 0;
            std::memmove(fifo->buffer, fifo->buffer + (fifo->samplesInBuffer - kept) * fifo->channels,
                         kept * FrameBytes(fifo));
            fifo->samplesInBuffer = kept;
        }
    } else if (!FifoEnsureCapacity(fifo, fifo->samplesInBuffer + slack)) {
        return nullptr;
    }
    return fifo->buffer + (fifo->bufferPos + fifo->samplesInBuffer) * fifo->channels;
}

void FifoPut(SampleFifo *fifo, const int16_t *data, uint32_t frames) {
    // A fixed FIFO given more than it can ever hold keeps the newest frames of the write.
    const uint32_t capacity = FifoCapacity(fifo);
    if (fifo->fixedCapacity && frames > capacity) {
        data += (frames - capacity) * fifo->channels;
        frames = capacity;
    }
    if (frames == 0) return;
    int16_t *end = FifoEnd(fifo, frames);
    if (!end) return;
    std::memcpy(end, data, frames * FrameBytes(fifo));
    fifo->samplesInBuffer += frames;
}

void FifoCommit(SampleFifo *fifo, uint32_t frames) { fifo->samplesInBuffer += frames; }

uint32_t FifoReceive(SampleFifo *fifo, uint32_t frames) {
    if (frames < fifo->samplesInBuffer) {
        fifo->samplesInBuffer -= frames;
        fifo->bufferPos += frames;
        return frames;
    }
    const uint32_t held = fifo->samplesInBuffer;
    fifo->samplesInBuffer = 0;
    return held;
}

uint32_t FifoReceiveInto(SampleFifo *fifo, int16_t *destination, uint32_t maxFrames) {
    const uint32_t frames = maxFrames < fifo->samplesInBuffer ? maxFrames : fifo->samplesInBuffer;
    if (frames == 0) return 0;
    std::memcpy(destination, FifoFront(fifo), frames * FrameBytes(fifo));
    return FifoReceive(fifo, frames);
}

void FifoClear(SampleFifo *fifo) {
    fifo->samplesInBuffer = 0;
    fifo->bufferPos = 0;
}

void FifoSetChannels(SampleFifo *fifo, uint32_t channels) {
    fifo->samplesInBuffer = fifo->channels * fifo->samplesInBuffer / channels;
    fifo->channels = channels;
}

void FifoMoveAllFrom(SampleFifo *fifo, SampleFifo *other) {
    FifoPut(fifo, FifoFront(other), other->samplesInBuffer);
    FifoReceive(other, other->samplesInBuffer);
}

int16_t *FifoFront(SampleFifo *fifo) { return fifo->buffer + fifo->bufferPos * fifo->channels; }
