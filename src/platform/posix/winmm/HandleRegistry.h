// Handles of the multimedia objects (wave devices, RIFF files): numbers from a counter that never
// repeats, so a closed or made-up handle names nothing instead of something freed.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace posix {

template <class T>
class CHandleRegistry {
public:
    // Never destroyed: devices may still be in use by threads while the process exits.
    static CHandleRegistry &Instance() {
        static CHandleRegistry *registry = new CHandleRegistry;
        return *registry;
    }

    uintptr_t Add(std::shared_ptr<T> object) {
        std::lock_guard<std::mutex> hold(m_lock);
        const uintptr_t handle = m_next++;
        m_objects.emplace(handle, std::move(object));
        return handle;
    }

    std::shared_ptr<T> Find(const void *handle) {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto found = m_objects.find(reinterpret_cast<uintptr_t>(handle));
        return found == m_objects.end() ? nullptr : found->second;
    }

    void Remove(const void *handle) {
        std::shared_ptr<T> released;
        std::lock_guard<std::mutex> hold(m_lock);
        const auto found = m_objects.find(reinterpret_cast<uintptr_t>(handle));
        if (found != m_objects.end()) {
            released = std::move(found->second);
            m_objects.erase(found);
        }
    }

private:
    std::mutex m_lock;
    std::unordered_map<uintptr_t, std::shared_ptr<T>> m_objects;
    // Above every device number, so a device id passed where a handle belongs names nothing.
    uintptr_t m_next = 0x10000;
};

}  // namespace posix
