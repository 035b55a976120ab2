// brivane play: a medium played through one playback instance, each event shown as it arrives with
// the play position.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CliSupport.h"
#include "Commands.h"
#include "HostThread.h"
#include "WidePath.h"
#include "brivane.h"

namespace {

const unsigned kIdleTimeoutMs = 10000;
const int kBarWidth = 30;

struct PlayOptions {
    const char *path = nullptr;
    long speed = 100;
    long fromMs = -1;
    long toMs = -1;
    long volume = -1;
    long mask = -1;
    bool wav = false;
};

// Shared with the callback, which runs on the library's service thread.
struct PlayState {
    bool terminal = false;
    std::atomic<unsigned> events{0};
    std::atomic<bool> playing{false};
    std::atomic<int> outcome{-1};  // -1 while playing, then the exit code
    // Touched by the callback only.
    uint32_t bytesPerSecond = 0;
    uint64_t dataBytes = 0;
    uint32_t startMs = 0;
    uint32_t totalMs = 0;
    bool barShown = false;
};

bool ParseNumber(const char *text, long low, long high, long *value) {
    char *end = nullptr;
    const long parsed = std::strtol(text, &end, 0);
    if (end == text || *end != '\0' || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

// Returns an error line, or null when the options make sense.
const char *ParseOptions(int argc, char **argv, PlayOptions *options) {
    for (int i = 0; i < argc; ++i) {
        const char *name = argv[i];
        if (std::strcmp(name, "--wav") == 0) {
            options->wav = true;
            continue;
        }
        if (name[0] != '-') {
            if (options->path) return "only one FILE";
            options->path = name;
            continue;
        }
        if (i + 1 >= argc) return "every option but --wav needs a value";
        const char *value = argv[++i];
        if (std::strcmp(name, "--speed") == 0) {
            if (!ParseNumber(value, 0, 400, &options->speed)) return "--speed must be a percentage from 0 to 400";
        } else if (std::strcmp(name, "--from") == 0) {
            if (!ParseNumber(value, 0, 0x7FFFFFFF, &options->fromMs)) return "--from must be milliseconds";
        } else if (std::strcmp(name, "--to") == 0) {
            if (!ParseNumber(value, 0, 0x7FFFFFFF, &options->toMs)) return "--to must be milliseconds";
        } else if (std::strcmp(name, "--volume") == 0) {
            if (!ParseNumber(value, 0, 100, &options->volume)) return "--volume must be from 0 to 100";
        } else if (std::strcmp(name, "--mask") == 0) {
            if (!ParseNumber(value, 0, 0xFFFFFFFFL, &options->mask)) return "--mask must be a number such as 0x8";
        } else {
            return "unknown option";
        }
    }
    if (!options->path) return "FILE is required";
    if (options->toMs >= 0 && options->fromMs > options->toMs) return "--from lies after --to";
    return nullptr;
}

void PrintTime(uint32_t ms) {
    std::printf("%u:%02u.%03u", unsigned(ms / 60000), unsigned(ms / 1000 % 60), unsigned(ms % 1000));
}

void ShowProgress(PlayState *state, uint32_t size) {
    const uint32_t positionMs = state->startMs + (state->bytesPerSecond ? uint32_t(state->dataBytes * 1000 / state->bytesPerSecond) : 0);
    if (state->terminal) {
        const int filled = state->totalMs ? int(uint64_t(kBarWidth) * (positionMs - state->startMs) / state->totalMs) : 0;
        std::printf("\r[");
        for (int i = 0; i < kBarWidth; ++i) std::putchar(i < filled ? '#' : '-');
        std::printf("] ");
        state->barShown = true;
    } else {
        std::printf("data %u bytes, ", unsigned(size));
    }
    PrintTime(positionMs);
    if (state->totalMs) {
        std::printf(" / ");
        PrintTime(state->startMs + state->totalMs);
    }
    if (!state->terminal) std::printf("\n");
}

void BRIVANE_CALL OnPlaybackEvent(uint32_t handle, BRIVANE_USER user, uint32_t event, const void *payload, uint32_t size) {
    PlayState *state = reinterpret_cast<PlayState *>(user);
    if (event == BRIVANE_EVENT_DATA) {
        state->dataBytes += size;
        ShowProgress(state, size);
    } else {
        if (state->barShown) std::printf("\n");
        state->barShown = false;
        if (event == BRIVANE_EVENT_FORMAT && size >= sizeof(BrivaneWaveFormat)) {
            BrivaneWaveFormat format;
            std::memcpy(&format, payload, sizeof format);
            state->bytesPerSecond = format.nAvgBytesPerSec;
            const uint32_t whole = AudioOutGetWholeDuration(handle);
            if (!state->totalMs && whole > state->startMs) state->totalMs = whole - state->startMs;
            std::printf("format: %u Hz, %u channels, %u bits, ", unsigned(format.nSamplesPerSec),
                        unsigned(format.nChannels), unsigned(format.wBitsPerSample));
            PrintTime(whole);
            std::printf(" long\n");
        } else if (event == BRIVANE_EVENT_FORMAT) {
            std::printf("format\n");
        } else if (event == BRIVANE_EVENT_PAUSED) {
            std::printf("paused\n");
        } else if (event == BRIVANE_EVENT_PLAYING) {
            std::printf("playing\n");
            state->playing = true;
        } else if (event == BRIVANE_EVENT_END) {
            std::printf("end: %llu bytes of PCM\n", static_cast<unsigned long long>(state->dataBytes));
            state->outcome = 0;
        } else if (event == BRIVANE_EVENT_COMMAND_FAILED) {
            std::printf("command failed\n");
            state->outcome = 1;
        } else {
            std::printf("event %u, %u bytes\n", unsigned(event), unsigned(size));
        }
    }
    std::fflush(stdout);
    ++state->events;
}

int RunPlay(int argc, char **argv) {
    PlayOptions options;
    if (const char *error = ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "brivane play: %s\n", error);
        return 2;
    }
    if (!InitBrivane()) {
        std::fprintf(stderr, "brivane play: InitBrivane failed\n");
        return 1;
    }
    PlayState state;
    state.terminal = IsTerminal(stdout);
    if (options.fromMs >= 0 || options.toMs >= 0) {
        state.startMs = options.fromMs >= 0 ? uint32_t(options.fromMs) : 0;
        if (options.toMs >= 0) state.totalMs = uint32_t(options.toMs) - state.startMs;
    }
    // The library reads the path when its open command runs, after the call has returned.
    const std::basic_string<BRIVANE_WCHAR> path = WidePath(options.path);
    const uint32_t handle = AudioOutFileOpen(options.wav ? BRIVANE_MODE_WAVE : BRIVANE_MODE_DECODE, path.c_str(),
                                             &OnPlaybackEvent, reinterpret_cast<BRIVANE_USER>(&state));
    if (!handle) {
        std::fprintf(stderr, "brivane play: the library refused to open %s\n", options.path);
        UnInitBrivane();
        return 1;
    }
    if (options.mask >= 0) AudioOutSetEventMask(handle, uint32_t(options.mask));
    if (options.speed != 100) AudioOutSetSpeed(handle, int32_t(options.speed));
    if (options.fromMs >= 0 || options.toMs >= 0)
        AudioOutSetDuration(handle, state.startMs, options.toMs >= 0 ? uint32_t(options.toMs) : BRIVANE_TO_END);
    AudioOutPlay(handle, 0);

    // A volume needs an open device, which exists once the instance plays.
    bool volumeSet = options.volume < 0;
    unsigned seen = 0, idleMs = 0;
    while (state.outcome < 0 && idleMs < kIdleTimeoutMs) {
        SleepMs(20);
        if (!volumeSet && state.playing) volumeSet = AudioOutSetVolume(handle, uint32_t(options.volume)) != 0;
        const unsigned events = state.events;
        idleMs = events == seen ? idleMs + 20 : 0;
        seen = events;
    }
    AudioOutClose(handle);
    UnInitBrivane();
    if (state.outcome < 0) {
        std::fprintf(stderr, "brivane play: no event for %u s\n", kIdleTimeoutMs / 1000);
        return 1;
    }
    return state.outcome;
}

const CliCommandRegistration kPlay({"play",
                                    "FILE [--speed P] [--from MS] [--to MS] [--volume V] [--wav] [--mask M]\n"
                                    "            play a medium and show each event as it arrives",
                                    &RunPlay, 10});
}  // namespace
