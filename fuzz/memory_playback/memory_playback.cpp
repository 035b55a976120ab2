// Any byte sequence as a host's memory image, through the playback exports on SDL's dummy driver:
// opened through the reader and in direct WAV mode, played for a bounded time (odd-sized images at
// 150 %), closed. Nothing may touch the image once its close has returned, and once an instance's
// close has run (before any event of the next instance) none of its events may come.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "brivane.h"

namespace {

constexpr auto kPlayFor = std::chrono::milliseconds(150);

// The newest instance that has had an event (handles count up), and whether the one in play is over.
struct Host {
    uint32_t newest = 0;  // the service thread's alone
    std::atomic<bool> over{false};
};
Host g_host;

void BRIVANE_CALL OnEvent(uint32_t handle, BRIVANE_USER, uint32_t event, const void *data, uint32_t size) {
    // Commands run in order: the close of an earlier instance ran before this one's open.
    if (handle < g_host.newest && handle + 0x8000 > g_host.newest) std::abort();
    g_host.newest = handle;
    if (event == BRIVANE_EVENT_FORMAT && (size != 18 || !data)) std::abort();
    if (event == BRIVANE_EVENT_DATA) {
        // Every byte handed over must be readable.
        volatile uint8_t sum = 0;
        for (uint32_t i = 0; i < size; ++i) sum = uint8_t(sum + static_cast<const uint8_t *>(data)[i]);
    }
    if (event == BRIVANE_EVENT_END || event == BRIVANE_EVENT_COMMAND_FAILED) g_host.over = true;
}

void Play(uint32_t mode, const uint8_t *data, size_t size) {
    g_host.over = false;
    const uint32_t handle = AudioOutOpen(mode, data, int32_t(size), OnEvent, 0);
    if (!handle) return;
    if (size & 1) AudioOutSetSpeed(handle, 150);
    AudioOutPlay(handle, 0);
    const auto until = std::chrono::steady_clock::now() + kPlayFor;
    while (!g_host.over && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    AudioOutClose(handle);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (!InitBrivane()) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > INT32_MAX) return 0;
    Play(BRIVANE_MODE_DECODE, data, size);
    Play(BRIVANE_MODE_WAVE, data, size);
    return 0;
}
