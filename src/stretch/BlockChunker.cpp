#include "stretch/BlockChunker.h"

#include <cstring>
#include <new>

CBlockChunker::~CBlockChunker() { delete[] m_block; }

void CBlockChunker::SetBlockSize(LONG size) {
    if (size == m_blockSize) return;
    if (size > 0) {
        BYTE *block = new (std::nothrow) BYTE[size];
        const LONG kept = m_block && block ? (m_blockFill < size ? m_blockFill : size) : 0;
        if (kept > 0) std::memcpy(block, m_block, kept);
        delete[] m_block;
        m_block = block;
        m_blockFill = kept;
    } else {
        delete[] m_block;
        m_block = nullptr;
        m_blockFill = 0;
    }
    m_blockSize = size;
}

BOOL CBlockChunker::SetInput(const BYTE *data, LONG length) {
    m_input = data;
    m_inputLength = length;
    m_inputPos = 0;
    return TRUE;
}

BOOL CBlockChunker::ClearInput() { return SetInput(nullptr, 0); }

const BYTE *CBlockChunker::Next(LONG *outLength) {
    if (!m_block) return nullptr;
    const LONG remaining = m_inputLength - m_inputPos;
    if (m_blockFill > 0) {
        const LONG take = m_blockSize - m_blockFill < remaining ? m_blockSize - m_blockFill : remaining;
        if (take <= 0) return nullptr;
        std::memcpy(m_block + m_blockFill, m_input + m_inputPos, take);
        m_inputPos += take;
        if (m_blockFill + take < m_blockSize) {
            m_blockFill += take;
            return nullptr;
        }
        m_blockFill = 0;
        if (outLength) *outLength = m_blockSize;
        return m_block;
    }
    if (remaining / m_blockSize > 0) {
        const BYTE *block = m_input + m_inputPos;
        m_inputPos += m_blockSize;
        if (outLength) *outLength = m_blockSize;
        return block;
    }
    if (remaining % m_blockSize > 0) {
        std::memcpy(m_block, m_input + m_inputPos, remaining);
        m_blockFill += remaining;
        m_inputPos = m_inputLength;
    }
    return nullptr;
}

const BYTE *CBlockChunker::TakePartial(LONG *outLength) {
    *outLength = m_blockFill;
    m_blockFill = 0;
    return m_block;
}
