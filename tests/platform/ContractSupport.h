// What the contract tests share: threads started and joined through the Windows API, wide text, and
// typed copies of SDK constants that some headers define as long or int.
#pragma once

#include <string>

#include "platform/platform.h"

const DWORD kWaitTimeout = WAIT_TIMEOUT;
const UINT kUserMessage = WM_USER;

typedef std::basic_string<WCHAR> WideString;

// The text as UTF-16 (WCHAR is wchar_t on Windows, char16_t elsewhere): the tests' paths and profiles are ASCII.
inline WideString Wide(const std::string &ascii) { return WideString(ascii.begin(), ascii.end()); }

// Starts a thread that runs the body, which must outlive it, and ends with what the body returns.
template <class Body>
HANDLE StartThread(Body &body) {
    auto run = [](void *b) -> unsigned { return (*static_cast<Body *>(b))(); };
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, run, &body, 0, nullptr));
}

// Waits for the thread to end and closes its handle; returns its exit code (0xDEAD if it hung).
inline DWORD JoinThread(HANDLE thread) {
    DWORD code = 0xDEAD;
    if (WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0) GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

// True under Wine, whose implementation differs from the Windows documentation in a few places
// that the tests name where they allow for it.
inline bool RunningUnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}
