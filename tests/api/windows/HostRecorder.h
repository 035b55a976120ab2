// Host callbacks that record what the library delivers, and waits on them.
#pragma once

#include <vector>

#include "HostLibrary.h"

struct PlayEvent {
    uint32_t handle;
    BRIVANE_USER user;
    uint32_t code;
    const void *payload;
    uint32_t size;
    DWORD thread;
};

// One recorder is active at a time; the callbacks find it without the user value, which they record.
class HostRecorder {
public:
    // Wide enough to show a truncated user value on a 64-bit build.
    static constexpr BRIVANE_USER kUser = static_cast<BRIVANE_USER>(0x5A5A5A5A5A5A5A5Aull);

    HostRecorder();
    ~HostRecorder();
    HostRecorder(const HostRecorder &) = delete;
    HostRecorder &operator=(const HostRecorder &) = delete;

    static void BRIVANE_CALL OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *payload,
                                    uint32_t size);
    static void BRIVANE_CALL OnCapture(uint32_t handle, BRIVANE_USER user, uint32_t code, uint32_t arg1,
                                       uint32_t arg2, const void *payload, uint32_t size);

    // Waits up to 5 s for a playback event with this handle and code.
    bool WaitFor(uint32_t handle, uint32_t code);
    std::vector<PlayEvent> PlayEvents();
    size_t CaptureEventCount();

private:
    CRITICAL_SECTION m_lock;
    CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;
    std::vector<PlayEvent> m_play;
    size_t m_captureCount = 0;
};
