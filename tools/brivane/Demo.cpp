// The demo: open a playback instance and report every event the service thread delivers.
#include <atomic>
#include <cstdio>
#include <string>

#include "Commands.h"
#include "HostThread.h"
#include "brivane.h"

namespace {

struct DemoState {
    std::atomic<uint64_t> callbackThread{0};
    std::atomic<bool> failed{false};
};

const char *EventName(uint32_t event) {
    switch (event) {
    case BRIVANE_EVENT_FORMAT: return "format";
    case BRIVANE_EVENT_PAUSED: return "paused";
    case BRIVANE_EVENT_PLAYING: return "playing";
    case BRIVANE_EVENT_DATA: return "data";
    case BRIVANE_EVENT_END: return "end";
    case BRIVANE_EVENT_COMMAND_FAILED: return "command failed";
    default: return "unknown";
    }
}

void BRIVANE_CALL OnPlaybackEvent(uint32_t handle, BRIVANE_USER user, uint32_t event, const void *, uint32_t size) {
    DemoState *state = reinterpret_cast<DemoState *>(user);
    std::printf("  event %u (%s) for instance %u, %u payload bytes, on thread %llu\n", event, EventName(event), handle,
                size, static_cast<unsigned long long>(CurrentThreadId()));
    state->callbackThread = CurrentThreadId();
    if (event == BRIVANE_EVENT_COMMAND_FAILED) state->failed = true;
}

std::basic_string<BRIVANE_WCHAR> Widen(const char *ascii) {
    std::basic_string<BRIVANE_WCHAR> wide;
    for (const char *p = ascii; *p; ++p) wide.push_back(static_cast<BRIVANE_WCHAR>(static_cast<unsigned char>(*p)));
    return wide;
}

int RunDemo(int, char **) {
    std::printf("host thread %llu\n", static_cast<unsigned long long>(CurrentThreadId()));
    if (!InitBrivane()) {
        std::printf("InitBrivane failed\n");
        return 1;
    }
    std::printf("library started\n");

    DemoState state;
    const char *path = "no-such-file.wma";
    uint32_t handle = AudioOutFileOpen(BRIVANE_MODE_DECODE, Widen(path).c_str(), &OnPlaybackEvent,
                                       reinterpret_cast<BRIVANE_USER>(&state));
    std::printf("opened %s as instance %u; asking it to play\n", path, handle);
    AudioOutPlay(handle, 0);

    for (int waited = 0; !state.failed && waited < 5000; waited += 10) SleepMs(10);
    AudioOutClose(handle);
    UnInitBrivane();

    if (!state.failed) {
        std::printf("no failure event arrived within 5 s\n");
        return 1;
    }
    bool onServiceThread = state.callbackThread != CurrentThreadId();
    std::printf("the open failed as expected, reported on %s\n",
                onServiceThread ? "the service thread, not the host's" : "the host's own thread (unexpected)");
    std::printf("library shut down cleanly\n");
    return onServiceThread ? 0 : 1;
}

const CliCommandRegistration kDemo({"demo", "start the library and show the service thread delivering events", &RunDemo, 1});
}  // namespace
