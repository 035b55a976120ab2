// Handles: each names one reference-counted kernel object until it is closed.
#pragma once

#include <memory>

#include "kernel32.h"

namespace posix {

class CKernelObject;

class CHandleTable {
public:
    // Returns 0 with ERROR_NOT_ENOUGH_MEMORY when no handle is left.
    static HANDLE Insert(std::shared_ptr<CKernelObject> object);
    // Returns null with ERROR_INVALID_HANDLE for a handle that names nothing (0, closed, foreign).
    static std::shared_ptr<CKernelObject> Find(HANDLE handle);
    static bool Close(HANDLE handle);
};

// The object a handle names when it is of type T, else null with ERROR_INVALID_HANDLE.
template <class T>
std::shared_ptr<T> FindObject(HANDLE handle) {
    std::shared_ptr<T> object = std::dynamic_pointer_cast<T>(CHandleTable::Find(handle));
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

}  // namespace posix
