// The reader tests' and reader fuzz target's callback, in the Windows API only: both interfaces, every status recorded.
#pragma once

#include <vector>

#include "ContractSupport.h"

class CReaderCallback : public CComObject<IWMReaderCallback, IWMReaderCallbackAdvanced>, protected CAwaitedLog {
public:
    IWMReaderCallback *Callback() { return this; }
    // The result the status came with last; E_FAIL while it has not come.
    HRESULT ResultOf(WMT_STATUS status) {
        return Locked([&] {
            HRESULT hr = E_FAIL;
            for (size_t i = 0; i < statuses.size(); ++i)
                if (statuses[i] == status) hr = results[i];
            return hr;
        });
    }

    // Written on the reader's threads; read once the awaited status has come.
    std::vector<WMT_STATUS> statuses;
    std::vector<HRESULT> results;

protected:
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
};
