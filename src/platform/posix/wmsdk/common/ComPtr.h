// An owning interface pointer: one reference, released when the holder goes.
#pragma once

#include <utility>

namespace posix {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    static ComPtr Adopt(T *pointer) {
        ComPtr result;
        result.m_pointer = pointer;
        return result;
    }
    // Adds a reference of its own.
    static ComPtr Share(T *pointer) {
        if (pointer) pointer->AddRef();
        return Adopt(pointer);
    }
    ComPtr(ComPtr &&other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr &operator=(ComPtr &&other) noexcept {
        if (this != &other) {
            Reset();
            m_pointer = std::exchange(other.m_pointer, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr &) = delete;
    ComPtr &operator=(const ComPtr &) = delete;
    ~ComPtr() { Reset(); }

    void Reset() {
        if (T *pointer = std::exchange(m_pointer, nullptr)) pointer->Release();
    }
    T *Get() const { return m_pointer; }
    T *operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    // For out parameters of QueryInterface-style calls; drops what was held first.
    T **Receive() {
        Reset();
        return &m_pointer;
    }

private:
    T *m_pointer = nullptr;
};

}  // namespace posix
