// A media reader's callback object for the reader tests and the media-reader fuzz target, written
// with the Windows API only: both callback interfaces on one IUnknown, and every status the reader
// reports recorded with its result.
#pragma once

#include <vector>

#include "platform/platform.h"

class CReaderCallback : public CComObject<IWMReaderCallback, IWMReaderCallbackAdvanced> {
public:
    IWMReaderCallback *Callback() { return this; }
    // The result the status came with last; E_FAIL while it has not come.
    HRESULT ResultOf(WMT_STATUS status) {
        EnterCriticalSection(&m_lock);
        HRESULT hr = E_FAIL;
        for (size_t i = 0; i < statuses.size(); ++i)
            if (statuses[i] == status) hr = results[i];
        LeaveCriticalSection(&m_lock);
        return hr;
    }

    // Written on the reader's threads; read once the awaited status has come.
    std::vector<WMT_STATUS> statuses;
    std::vector<HRESULT> results;

protected:
    CReaderCallback() : m_changed(CreateEventA(nullptr, FALSE, FALSE, nullptr)) { InitializeCriticalSection(&m_lock); }
    ~CReaderCallback() override {
        DeleteCriticalSection(&m_lock);
        CloseHandle(m_changed);
    }

    // Waits until the condition, checked under the lock, holds; false on time-out.
    template <class Condition>
    bool Await(DWORD timeoutMs, Condition condition) {
        const DWORD begin = GetTickCount();
        for (;;) {
            EnterCriticalSection(&m_lock);
            const bool met = condition();
            LeaveCriticalSection(&m_lock);
            const DWORD spent = GetTickCount() - begin;
            if (met) return true;
            if (spent >= timeoutMs) return false;
            WaitForSingleObject(m_changed, timeoutMs - spent);
        }
    }
    void Record(WMT_STATUS status, HRESULT hr) {
        EnterCriticalSection(&m_lock);
        statuses.push_back(status);
        results.push_back(hr);
        LeaveCriticalSection(&m_lock);
        SetEvent(m_changed);
    }

    void *FindInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IWMStatusCallback || riid == IID_IWMReaderCallback)
            return static_cast<IWMReaderCallback *>(this);
        if (riid == IID_IWMReaderCallbackAdvanced) return static_cast<IWMReaderCallbackAdvanced *>(this);
        return nullptr;
    }
    // Lives on its host's stack: the last Release destroys nothing.
    void OnFinalRelease() override {}

    CRITICAL_SECTION m_lock;
    HANDLE m_changed;
};
