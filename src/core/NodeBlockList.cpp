#include "core/NodeBlockList.h"

#include <cstdlib>

CNodeBlockList::CNodeBlockList(int nodesPerBlock) : m_nodesPerBlock(nodesPerBlock < 1 ? 1 : nodesPerBlock) {}

CNodeBlockList::~CNodeBlockList() { FreeBlocks(); }

CNodeBlockList::Node *CNodeBlockList::NewNode() {
    if (!m_free) {
        // One allocation: the block link, then the nodes, threaded onto the free list.
        Block *block = static_cast<Block *>(std::malloc(sizeof(Block) + sizeof(Node) * m_nodesPerBlock));
        if (!block) return nullptr;
        block->next = m_blocks;
        m_blocks = block;
        Node *nodes = reinterpret_cast<Node *>(block + 1);
        for (int i = m_nodesPerBlock - 1; i >= 0; --i) {
            nodes[i].next = m_free;
            m_free = &nodes[i];
        }
    }
    Node *node = m_free;
    m_free = node->next;
    return node;
}

bool CNodeBlockList::AddTail(DWORD value) {
    Node *node = NewNode();
    if (!node) return false;
    node->value = value;
    node->next = nullptr;
    node->prev = m_tail;
    if (m_tail)
        m_tail->next = node;
    else
        m_head = node;
    m_tail = node;
    ++m_count;
    return true;
}

bool CNodeBlockList::RemoveHead(DWORD *value) {
    if (!m_head) return false;
    Node *node = m_head;
    if (value) *value = node->value;
    m_head = node->next;
    if (m_head)
        m_head->prev = nullptr;
    else
        m_tail = nullptr;
    node->next = m_free;
    m_free = node;
    if (--m_count == 0) FreeBlocks();
    return true;
}

int CNodeBlockList::BlockCount() const {
    int blocks = 0;
    for (Block *b = m_blocks; b; b = b->next) ++blocks;
    return blocks;
}

void CNodeBlockList::FreeBlocks() {
    while (m_blocks) {
        Block *next = m_blocks->next;
        std::free(m_blocks);
        m_blocks = next;
    }
    m_head = m_tail = m_free = nullptr;
    m_count = 0;
}
