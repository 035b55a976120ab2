// A FIFO of 32-bit values whose nodes are carved from fixed-size blocks and recycled through a
// free list; every block is freed at once when the list becomes empty.
#pragma once

#include "platform/platform.h"

class CNodeBlockList {
public:
    explicit CNodeBlockList(int nodesPerBlock);
    ~CNodeBlockList();
    CNodeBlockList(const CNodeBlockList &) = delete;
    CNodeBlockList &operator=(const CNodeBlockList &) = delete;

    // Returns false when no node could be allocated.
    bool AddTail(DWORD value);
    // Returns false when the list is empty.
    bool RemoveHead(DWORD *value);
    bool IsEmpty() const { return m_count == 0; }
    int Count() const { return m_count; }
    int BlockCount() const;

private:
    struct Node {
        Node *next;
        Node *prev;
        DWORD value;
    };
    struct Block {
        Block *next;
    };
    Node *NewNode();
    void FreeBlocks();

    Node *m_head = nullptr;
    Node *m_tail = nullptr;
    Node *m_free = nullptr;
    Block *m_blocks = nullptr;
    int m_count = 0;
    int m_nodesPerBlock;
};
