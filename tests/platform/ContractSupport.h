// What the contract tests share: an awaited record, wide text, SDK constants some headers type as long/int.
#pragma once

#include <string>

#include "platform/platform.h"

const DWORD kWaitTimeout = WAIT_TIMEOUT;
const UINT kUserMessage = WM_USER;

typedef std::basic_string<WCHAR> WideString;

// The text as UTF-16 (WCHAR is wchar_t on Windows, char16_t elsewhere): the tests' paths and profiles are ASCII.
inline WideString Wide(const std::string &ascii) { return WideString(ascii.begin(), ascii.end()); }

// A record that other threads add to under its lock, signalling each change, and that a test waits on.
class CAwaitedLog {
protected:
    CAwaitedLog() : m_changed(CreateEventA(nullptr, FALSE, FALSE, nullptr)) { InitializeCriticalSection(&m_lock); }
    ~CAwaitedLog() {
        DeleteCriticalSection(&m_lock);
        CloseHandle(m_changed);
    }

    // What the body returns, run under the lock.
    template <class Body>
    auto Locked(Body body) {
        EnterCriticalSection(&m_lock);
        const auto result = body();
        LeaveCriticalSection(&m_lock);
        return result;
    }
    // Waits until the condition, checked under the lock, holds; false on time-out.
    template <class Condition>
    bool Await(DWORD timeoutMs, Condition condition) {
        const DWORD begin = GetTickCount();
        for (;;) {
            const bool met = Locked(condition);
            const DWORD spent = GetTickCount() - begin;
            if (met) return true;
            if (spent >= timeoutMs) return false;
            WaitForSingleObject(m_changed, timeoutMs - spent);
        }
    }

    CRITICAL_SECTION m_lock;
    HANDLE m_changed;
};

// True under Wine, whose implementation departs from the Windows documentation where a test says it allows for it.
inline bool RunningUnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}
