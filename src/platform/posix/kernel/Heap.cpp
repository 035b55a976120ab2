// The process heap over the C allocator. Each block starts with its requested size so that a
// grown block's new bytes can be zeroed exactly, as HEAP_ZERO_MEMORY asks.
#include <cstdlib>
#include <cstring>

#include "kernel32.h"

namespace {

// The header keeps the block at the allocator's 16-byte alignment.
struct alignas(16) BlockHeader {
    SIZE_T size;
};

BlockHeader *HeaderOf(LPVOID block) { return static_cast<BlockHeader *>(block) - 1; }

LPVOID Finish(BlockHeader *header, SIZE_T size) {
    header->size = size;
    return header + 1;
}

bool TooLarge(SIZE_T bytes) { return bytes > SIZE_MAX - sizeof(BlockHeader); }

}  // namespace

HANDLE GetProcessHeap(void) {
    static int processHeap;
    return &processHeap;
}

LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
    if (TooLarge(bytes)) return nullptr;
    const SIZE_T total = sizeof(BlockHeader) + bytes;
    void *memory = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, total) : std::malloc(total);
    return memory ? Finish(static_cast<BlockHeader *>(memory), bytes) : nullptr;
}

LPVOID HeapReAlloc(HANDLE, DWORD flags, LPVOID block, SIZE_T bytes) {
    if (!block || TooLarge(bytes)) return nullptr;
    const SIZE_T oldSize = HeaderOf(block)->size;
    void *memory = std::realloc(HeaderOf(block), sizeof(BlockHeader) + bytes);
    if (!memory) return nullptr;
    LPVOID grown = Finish(static_cast<BlockHeader *>(memory), bytes);
    if ((flags & HEAP_ZERO_MEMORY) && bytes > oldSize)
        std::memset(static_cast<BYTE *>(grown) + oldSize, 0, bytes - oldSize);
    return grown;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID block) {
    if (block) std::free(HeaderOf(block));
    return TRUE;
}
