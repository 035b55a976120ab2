// The millisecond clocks and Sleep, all on the steady clock so that wall-clock changes do not move
// them; the millisecond counts wrap at 2^32 as on Windows.
#include <chrono>
#include <thread>

#include "kernel32.h"
#include "winmm.h"

namespace {

DWORD SteadyMilliseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return DWORD(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (milliseconds == INFINITE) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetTickCount(void) { return SteadyMilliseconds(); }

DWORD timeGetTime(void) { return SteadyMilliseconds(); }
