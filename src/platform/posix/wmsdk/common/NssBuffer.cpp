#include "NssBuffer.h"

#include <new>

namespace posix {

CNssBuffer *CNssBuffer::Create(DWORD capacity) {
    void *memory = ::operator new(sizeof(CNssBuffer) + capacity, std::nothrow);
    return memory ? new (memory) CNssBuffer(capacity) : nullptr;
}

void CNssBuffer::OnFinalRelease() {
    this->~CNssBuffer();
    ::operator delete(this);
}

}  // namespace posix
