// Cuts runs of bytes into whole blocks: straight from the caller's memory where a whole block is
// there, through its own buffer where a partial block has to be completed or kept.
#pragma once

#include "platform/platform.h"

class CBlockChunker {
public:
    CBlockChunker() = default;
    ~CBlockChunker();
    CBlockChunker(const CBlockChunker &) = delete;
    CBlockChunker &operator=(const CBlockChunker &) = delete;

    // A size of 0 or less frees the block buffer; a new size keeps what fits of a partial block.
    void SetBlockSize(LONG size);
    BOOL SetInput(const BYTE *data, LONG length);
    BOOL ClearInput();
    // The next whole block (blockSize bytes), or null once the run is used up; a run's tail is kept.
    const BYTE *Next(LONG *outLength);
    // Hands out the partial block: blockFill bytes in the block buffer.
    const BYTE *TakePartial(LONG *outLength);
    // FALSE while the block buffer of a positive block size could not be allocated.
    BOOL HasBlockBuffer() const { return m_block != nullptr; }
    void ResetPartial() { m_blockFill = 0; }

private:
    const BYTE *m_input = nullptr;  // not owned
    LONG m_inputLength = 0;
    LONG m_inputPos = 0;
    LONG m_blockSize = 0;
    BYTE *m_block = nullptr;
    LONG m_blockFill = 0;
};
