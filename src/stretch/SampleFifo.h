// A FIFO of interleaved 16-bit frames for the time-stretch engine: 16-byte aligned, sized in
// 4096-byte steps, consumed from the front by moving a position and compacted only before writing.
#pragma once

#include <cstdint>

struct SampleFifo {
    uint32_t channels;         // values per frame
    uint32_t fixedCapacity;    // set: never grows, and the oldest frames make room on overflow
    void *raw;                 // the allocation behind buffer
    int16_t *buffer;           // raw rounded up to 16 bytes
    uint32_t sizeInBytes;      // usable bytes, a multiple of 4096
    uint32_t samplesInBuffer;  // frames held
    uint32_t bufferPos;        // frames already taken from the front
};

void FifoInit(SampleFifo *fifo, uint32_t channels);
void FifoFree(SampleFifo *fifo);
void FifoRewind(SampleFifo *fifo);
uint32_t FifoCapacity(const SampleFifo *fifo);
uint32_t FifoCount(const SampleFifo *fifo);
bool FifoEnsureCapacity(SampleFifo *fifo, uint32_t frames);
// Room for slack more frames just past the held ones; null when the FIFO cannot hold that many.
int16_t *FifoEnd(SampleFifo *fifo, uint32_t slack);
void FifoPut(SampleFifo *fifo, const int16_t *data, uint32_t frames);
void FifoCommit(SampleFifo *fifo, uint32_t frames);
uint32_t FifoReceive(SampleFifo *fifo, uint32_t frames);
uint32_t FifoReceiveInto(SampleFifo *fifo, int16_t *destination, uint32_t maxFrames);
void FifoClear(SampleFifo *fifo);
void FifoSetChannels(SampleFifo *fifo, uint32_t channels);
void FifoMoveAllFrom(SampleFifo *fifo, SampleFifo *other);
int16_t *FifoFront(SampleFifo *fifo);
