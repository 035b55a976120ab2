// A growable array of plain records: grows by count/8 clamped to 4..1024 (or to what is needed),
// the first allocation holds one element, and it never shrinks until cleared.
#pragma once

#include <cstdlib>
#include <cstring>
#include <type_traits>

template <class T>
class CDynArray {
    static_assert(std::is_trivially_copyable<T>::value, "records are moved with memcpy");

public:
    CDynArray() = default;
    CDynArray(const CDynArray &) = delete;
    CDynArray &operator=(const CDynArray &) = delete;
    ~CDynArray() { std::free(m_data); }

    int Count() const { return m_count; }
    int Capacity() const { return m_capacity; }
    T &operator[](int i) { return m_data[i]; }
    const T &operator[](int i) const { return m_data[i]; }
    T *Data() { return m_data; }

    // Appends a copy; returns false (and leaves the array unchanged) when memory runs out.
    bool Append(const T &item) {
        if (m_count == m_capacity && !Grow(m_count + 1)) return false;
        m_data[m_count++] = item;
        return true;
    }

    // Makes room for at least capacity elements; returns false when memory runs out.
    bool Reserve(int capacity) { return capacity <= m_capacity || Grow(capacity); }

    // Removes the element at index, shifting the rest down by one.
    void RemoveAt(int index) {
        std::memmove(m_data + index, m_data + index + 1, sizeof(T) * (m_count - index - 1));
        --m_count;
    }

    // Frees the storage: count and capacity become 0.
    void Clear() {
        std::free(m_data);
        m_data = nullptr;
        m_count = m_capacity = 0;
    }

    // Hands the storage to other, leaving this array empty.
    void MoveTo(CDynArray &other) {
        other.Clear();
        other.m_data = m_data;
        other.m_count = m_count;
        other.m_capacity = m_capacity;
        m_data = nullptr;
        m_count = m_capacity = 0;
    }

private:
    bool Grow(int needed) {
        int step = m_count / 8;
        step = step < 4 ? 4 : (step > 1024 ? 1024 : step);
        int capacity = m_capacity == 0 ? 1 : m_capacity + step;
        if (capacity < needed) capacity = needed;
        T *data = static_cast<T *>(std::realloc(m_data, sizeof(T) * capacity));
        if (!data) return false;
        m_data = data;
        m_capacity = capacity;
        return true;
    }

    T *m_data = nullptr;
    int m_count = 0;
    int m_capacity = 0;
};
