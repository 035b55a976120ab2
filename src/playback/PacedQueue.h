// A player's queue of host data blocks in paced mode: PCM is cut into blocks of one tick of play
// time, and each tick hands out as many as the time elapsed since the timer started calls for.
#pragma once

#include <atomic>

#include "core/BufferPool.h"
#include "core/DynArray.h"
#include "platform/platform.h"
#include "stretch/BlockChunker.h"

// Hands one block to the host; returns 1 to go on with the next block, 0 to stop.
typedef int (*PacedDeliverFn)(DWORD elapsedMs, DWORD deltaMs, const BYTE *data, DWORD size, DWORD positionMs,
                              void *player);

class CPacedQueue {
public:
    // Block size 1764 bytes, 50 ms per block, position 0.
    CPacedQueue();
    ~CPacedQueue();
    CPacedQueue(const CPacedQueue &) = delete;
    CPacedQueue &operator=(const CPacedQueue &) = delete;

    // A new block size and tick length for the next pacing; the position starts again at 0.
    void Configure(DWORD blockBytes, DWORD tickMs);
    // Queues the whole blocks of the PCM; the tail waits in the chunker. Returns the bytes queued.
    DWORD Enqueue(const BYTE *data, DWORD bytes);
    // Delivers blocks, one tick of position each, until deliver says stop; with none waiting, hands
    // out the partial block. Returns deliver's last result, or -1 when no whole block was delivered.
    int Drain(DWORD elapsedMs, DWORD deltaMs, PacedDeliverFn deliver, void *player);
    // PCM bytes enqueued and not yet handed out, the partial block included.
    DWORD QueuedBytes() const { return m_bytesIn.load() - m_bytesOut.load(); }
    // Position 0 without the lock; the position is atomic, so a tick running meanwhile stays defined.
    void ResetPosition() { m_position = 0; }
    // While held, a drain that finds no whole block keeps the partial one: more of the stream is coming.
    void HoldPartial(BOOL hold) { m_holdPartial = hold; }
    // Drops every queued block and the partial block; deliver may call it from inside Drain.
    void Clear();

private:
    DWORD m_tickMs;
    std::atomic<DWORD> m_position;
    std::atomic<BOOL> m_holdPartial{FALSE};
    std::atomic<DWORD> m_bytesIn{0};
    std::atomic<DWORD> m_bytesOut{0};
    LONG m_blockBytes;  // the chunker's block size
    CRITICAL_SECTION m_lock;
    CDynArray<PoolBuffer *> m_blocks;
    CBufferPool m_blockPool;
    CBlockChunker m_chunker;
};
