#include "HostRecorder.h"

namespace {
HostRecorder *volatile g_active = nullptr;
}

HostRecorder::HostRecorder() {
    InitializeCriticalSection(&m_lock);
    g_active = this;
}

HostRecorder::~HostRecorder() {
    g_active = nullptr;
    DeleteCriticalSection(&m_lock);
}

void BRIVANE_CALL HostRecorder::OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *payload,
                                       uint32_t size) {
    HostRecorder *self = g_active;
    if (!self) return;
    EnterCriticalSection(&self->m_lock);
    self->m_play.push_back({handle, user, code, payload, size, GetCurrentThreadId()});
    LeaveCriticalSection(&self->m_lock);
    WakeAllConditionVariable(&self->m_changed);
}

void BRIVANE_CALL HostRecorder::OnCapture(uint32_t, BRIVANE_USER, uint32_t, uint32_t, uint32_t, const void *,
                                          uint32_t) {
    HostRecorder *self = g_active;
    if (!self) return;
    EnterCriticalSection(&self->m_lock);
    ++self->m_captureCount;
    LeaveCriticalSection(&self->m_lock);
}

bool HostRecorder::WaitFor(uint32_t handle, uint32_t code) {
    const DWORD timeoutMs = 5000;
    DWORD start = GetTickCount();
    bool found = false;
    EnterCriticalSection(&m_lock);
    for (;;) {
        for (const PlayEvent &event : m_play) found = found || (event.handle == handle && event.code == code);
        DWORD elapsed = GetTickCount() - start;
        if (found || elapsed >= timeoutMs) break;
        SleepConditionVariableCS(&m_changed, &m_lock, timeoutMs - elapsed);
    }
    LeaveCriticalSection(&m_lock);
    return found;
}

std::vector<PlayEvent> HostRecorder::PlayEvents() {
    EnterCriticalSection(&m_lock);
    std::vector<PlayEvent> copy = m_play;
    LeaveCriticalSection(&m_lock);
    return copy;
}

size_t HostRecorder::CaptureEventCount() {
    EnterCriticalSection(&m_lock);
    size_t count = m_captureCount;
    LeaveCriticalSection(&m_lock);
    return count;
}
