// Events: a set hands an auto-reset event to one waiting thread, or leaves it signalled until the
// next wait takes it, so any number of sets between two waits make one wake-up.
#include <memory>
#include <new>

#include "HandleTable.h"
#include "KernelObject.h"
#include "kernel32.h"

namespace posix {
namespace {

class CEvent final : public CKernelObject {
public:
    CEvent(bool manualReset, bool signalled) : m_manualReset(manualReset), m_signalled(signalled) {}

    void Set() {
        std::lock_guard<std::mutex> hold(Lock());
        const bool handedOver = ReleaseWaiters(!m_manualReset);
        m_signalled = m_manualReset || !handedOver;
    }

    void Reset() {
        std::lock_guard<std::mutex> hold(Lock());
        m_signalled = false;
    }

    bool IsSignalled(Clock::time_point) override { return m_signalled; }

    void Acquire() override {
        if (!m_manualReset) m_signalled = false;
    }

private:
    const bool m_manualReset;
    bool m_signalled;
};

HANDLE CreateEvent(BOOL manualReset, BOOL initialState, bool named) {
    if (named) {
        // Named objects are shared between processes on Windows; nothing here could share them.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    try {
        return CHandleTable::Insert(std::make_shared<CEvent>(manualReset != FALSE, initialState != FALSE));
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

}  // namespace
}  // namespace posix

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
    return posix::CreateEvent(manualReset, initialState, name != nullptr);
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    return posix::CreateEvent(manualReset, initialState, name != nullptr);
}

BOOL SetEvent(HANDLE event) {
    std::shared_ptr<posix::CEvent> object = posix::FindObject<posix::CEvent>(event);
    if (!object) return FALSE;
    object->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    std::shared_ptr<posix::CEvent> object = posix::FindObject<posix::CEvent>(event);
    if (!object) return FALSE;
    object->Reset();
    return TRUE;
}
