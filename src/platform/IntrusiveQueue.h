// A first-in first-out queue of objects linked through a pointer member of their own (Next), so that
// queueing never allocates; an object is in one queue at a time. Not locked: its owner's lock guards it.
#pragma once

template <class T, T *T::*Next>
class CIntrusiveQueue {
public:
    bool Empty() const { return !m_front; }
    T *Front() const { return m_front; }
    void PushBack(T *item) {
        item->*Next = nullptr;
        if (m_front)
            m_back->*Next = item;
        else
            m_front = item;
        m_back = item;
    }
    // The front item, unlinked; nullptr when the queue is empty.
    T *PopFront() {
        T *const item = m_front;
        if (!item) return nullptr;
        m_front = item->*Next;
        if (!m_front) m_back = nullptr;
        item->*Next = nullptr;
        return item;
    }

private:
    T *m_front = nullptr;
    T *m_back = nullptr;
};
