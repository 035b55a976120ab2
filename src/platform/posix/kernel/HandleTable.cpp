// Handles are slot numbers with the slot's generation in the high bits: a closed handle never names
// an object again, and looking one up locks only its own slot.
#include "HandleTable.h"

#include <atomic>
#include <mutex>
#include <new>
#include <vector>

#include "KernelObject.h"

namespace posix {
namespace {

constexpr uint32_t kSegmentSlots = 1024;
constexpr uint32_t kSegments = 1024;
// Slot numbers 1..2^20, times 4, take the low 23 bits; the generation goes above them, in 32 bits
// when handles are 64 bits wide and in the 9 bits left when they are 32.
constexpr unsigned kGenerationShift = sizeof(HANDLE) == 8 ? 32 : 23;
constexpr uint64_t kGenerations = uint64_t(1) << (sizeof(HANDLE) == 8 ? 32 : 9);

struct Slot {
    std::mutex lock;
    std::shared_ptr<CKernelObject> object;
    uint32_t generation = 0;
};

struct Segment {
    Slot slots[kSegmentSlots];
};

class Table {
public:
    HANDLE Insert(std::shared_ptr<CKernelObject> object) {
        uint32_t index;
        {
            std::lock_guard<std::mutex> hold(m_allocLock);
            if (!m_free.empty()) {
                index = m_free.back();
                m_free.pop_back();
            } else {
                if (m_used == kSegmentSlots * kSegments) return nullptr;
                if (m_used % kSegmentSlots == 0) {
                    Segment *segment = new (std::nothrow) Segment;
                    if (!segment) return nullptr;
                    m_segments[m_used / kSegmentSlots].store(segment, std::memory_order_release);
                }
                index = m_used++;
            }
        }
        Slot &slot = *At(index);
        std::lock_guard<std::mutex> hold(slot.lock);
        slot.object = std::move(object);
        return Encode(index, slot.generation);
    }

    std::shared_ptr<CKernelObject> Find(HANDLE handle) {
        uint32_t index, generation;
        Slot *slot = Decode(handle, index, generation);
        if (!slot) return nullptr;
        std::lock_guard<std::mutex> hold(slot->lock);
        return slot->generation == generation ? slot->object : nullptr;
    }

    bool Close(HANDLE handle) {
        uint32_t index, generation;
        Slot *slot = Decode(handle, index, generation);
        if (!slot) return false;
        std::shared_ptr<CKernelObject> released;
        bool retired;
        {
            std::lock_guard<std::mutex> hold(slot->lock);
            if (slot->generation != generation || !slot->object) return false;
            released = std::move(slot->object);
            retired = uint64_t(slot->generation) + 1 >= kGenerations;
            ++slot->generation;
        }
        // A slot whose generations are used up is never handed out again, so no handle value recurs.
        if (retired) return true;
        std::lock_guard<std::mutex> hold(m_allocLock);
        try {
            m_free.push_back(index);
        } catch (const std::bad_alloc &) {
            // Without memory to remember it, the slot is simply never handed out again.
        }
        return true;
    }

private:
    static HANDLE Encode(uint32_t index, uint32_t generation) {
        // Multiples of 4, as on Windows, so 0 and the pseudo handles (-1, -2) never decode.
        const uint64_t value = (uint64_t(generation) << kGenerationShift) | (uint64_t(index + 1) << 2);
        return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    }

    Slot *Decode(HANDLE handle, uint32_t &index, uint32_t &generation) {
        const uint64_t value = reinterpret_cast<uintptr_t>(handle);
        const uint64_t low = value & ((uint64_t(1) << kGenerationShift) - 1);
        if ((low & 3) != 0 || low == 0) return nullptr;
        index = uint32_t(low >> 2) - 1;
        generation = uint32_t(value >> kGenerationShift);
        return At(index);
    }

    Slot *At(uint32_t index) {
        if (index >= kSegmentSlots * kSegments) return nullptr;
        Segment *segment = m_segments[index / kSegmentSlots].load(std::memory_order_acquire);
        return segment ? &segment->slots[index % kSegmentSlots] : nullptr;
    }

    std::atomic<Segment *> m_segments[kSegments] = {};
    std::mutex m_allocLock;
    std::vector<uint32_t> m_free;
    uint32_t m_used = 0;
};

// Never destroyed: detached threads may close handles while the process exits.
Table &TheTable() {
    static Table *table = new Table;
    return *table;
}

}  // namespace

HANDLE CHandleTable::Insert(std::shared_ptr<CKernelObject> object) {
    HANDLE handle = TheTable().Insert(std::move(object));
    if (!handle) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

std::shared_ptr<CKernelObject> CHandleTable::Find(HANDLE handle) {
    std::shared_ptr<CKernelObject> object = TheTable().Find(handle);
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

bool CHandleTable::Close(HANDLE handle) {
    if (TheTable().Close(handle)) return true;
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

}  // namespace posix

BOOL CloseHandle(HANDLE handle) { return posix::CHandleTable::Close(handle) ? TRUE : FALSE; }
