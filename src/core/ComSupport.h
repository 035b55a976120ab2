// The two helpers every caller of the platform's COM objects and system calls shares.
#pragma once

#include "platform/platform.h"

// The last system error as a result code; ifNone stands in when none was recorded, since 0 would read as success.
inline HRESULT HResultFromLastError(HRESULT ifNone = E_FAIL) {
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : ifNone;
}

// Releases an interface pointer once and forgets it.
template <class T>
void ReleaseInterface(T *&object) {
    if (object) object->Release();
    object = nullptr;
}
