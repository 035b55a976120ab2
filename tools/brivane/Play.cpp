// brivane play: a medium played through one playback instance: a live status line on a terminal
// (position, speed, level), or each event on a line of its own as it arrives (--events, or when
// standard output is not a terminal).
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CliFailure.h"
#include "CliSupport.h"
#include "Commands.h"
#include "HostOs.h"
#include "brivane.h"

namespace {

const unsigned kIdleTimeoutMs = 10000;
const int kMeterWidth = 20;

struct PlayOptions {
    const char *path = nullptr;
    long speed = 100;
    long fromMs = -1;
    long toMs = -1;
    long volume = -1;
    long mask = -1;
    bool wav = false;
    bool events = false;
};

// Shared with the callback, which runs on the library's service thread.
struct PlayState {
    bool raw = true;  // every event on a line of its own, instead of the status line
    long speed = 100;
    std::atomic<unsigned> events{0};
    std::atomic<bool> playing{false};
    std::atomic<bool> formatSeen{false};
    std::atomic<int> outcome{-1};  // -1 while playing, then the exit code
    // Touched by the callback only.
    BrivaneWaveFormat format{};
    uint64_t dataBytes = 0;
    uint32_t startMs = 0;
    uint32_t totalMs = 0;
    bool statusShown = false;
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
        if (std::strcmp(name, "--wav") == 0 || std::strcmp(name, "--events") == 0) {
            (name[2] == 'w' ? options->wav : options->events) = true;
            continue;
        }
        if (name[0] != '-') {
            if (options->path) return "only one FILE";
            options->path = name;
            continue;
        }
        if (i + 1 >= argc) return "every option but --wav and --events needs a value";
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

uint32_t PositionMs(const PlayState &state) {
    const uint32_t rate = state.format.nAvgBytesPerSec;
    return state.startMs + (rate ? uint32_t(state.dataBytes * 1000 / rate) : 0);
}

std::string TimesText(const PlayState &state) {
    std::string text = ClockText(PositionMs(state));
    if (state.totalMs) text += " / " + ClockText(state.startMs + state.totalMs);
    return text;
}

void ShowStatus(PlayState *state, const void *payload, uint32_t size) {
    char text[96];
    std::snprintf(text, sizeof text, "playing  %s  speed %ld%%", TimesText(*state).c_str(), state->speed);
    DrawStatusLine(stdout, text, MeterLevel(state->format, payload, size, kMeterWidth), kMeterWidth);
    state->statusShown = true;
}

void ShowEvent(PlayState *state, uint32_t handle, uint32_t event, uint32_t size) {
    if (event == BRIVANE_EVENT_DATA) {
        std::printf("data %u bytes, %s\n", unsigned(size), TimesText(*state).c_str());
    } else if (event == BRIVANE_EVENT_FORMAT && size >= sizeof(BrivaneWaveFormat)) {
        std::printf("format: %u Hz, %u channels, %u bits, %s long\n", unsigned(state->format.nSamplesPerSec),
                    unsigned(state->format.nChannels), unsigned(state->format.wBitsPerSample),
                    ClockText(AudioOutGetWholeDuration(handle)).c_str());
    } else if (event == BRIVANE_EVENT_FORMAT) {
        std::printf("format\n");
    } else if (event == BRIVANE_EVENT_PAUSED) {
        std::printf("paused\n");
    } else if (event == BRIVANE_EVENT_PLAYING) {
        std::printf("playing\n");
    } else if (event == BRIVANE_EVENT_END) {
        std::printf("end: %llu bytes of PCM\n", static_cast<unsigned long long>(state->dataBytes));
    } else if (event == BRIVANE_EVENT_COMMAND_FAILED) {
        std::printf("command failed\n");
    } else {
        std::printf("event %u, %u bytes\n", unsigned(event), unsigned(size));
    }
}

void BRIVANE_CALL OnPlaybackEvent(uint32_t handle, BRIVANE_USER user, uint32_t event, const void *payload,
                                  uint32_t size) {
    PlayState *state = reinterpret_cast<PlayState *>(user);
    if (event == BRIVANE_EVENT_DATA) {
        state->dataBytes += size;
    } else if (event == BRIVANE_EVENT_FORMAT && size >= sizeof(BrivaneWaveFormat)) {
        std::memcpy(&state->format, payload, sizeof state->format);
        const uint32_t whole = AudioOutGetWholeDuration(handle);
        if (!state->totalMs && whole > state->startMs) state->totalMs = whole - state->startMs;
        state->formatSeen = true;
    }
    if (state->raw) {
        ShowEvent(state, handle, event, size);
    } else if (event == BRIVANE_EVENT_DATA) {
        ShowStatus(state, payload, size);
    } else if ((event == BRIVANE_EVENT_END || event == BRIVANE_EVENT_COMMAND_FAILED) && state->statusShown) {
        std::printf("\n");
        state->statusShown = false;
    }
    if (event == BRIVANE_EVENT_PLAYING) state->playing = true;
    if (event == BRIVANE_EVENT_END) state->outcome = kExitOk;
    if (event == BRIVANE_EVENT_COMMAND_FAILED) state->outcome = kExitFailed;
    std::fflush(stdout);
    ++state->events;
}

uint16_t Le16(const unsigned char *p) { return uint16_t(p[0] | p[1] << 8); }

// The format of a RIFF WAVE file whose "fmt " chunk comes first, as direct WAV mode requires.
bool ReadWaveFormat(const char *path, BrivaneWaveFormat *format) {
    unsigned char head[36];
    std::FILE *file = std::fopen(path, "rb");
    if (!file) return false;
    const bool whole = std::fread(head, 1, sizeof head, file) == sizeof head;
    std::fclose(file);
    if (!whole || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVEfmt ", 8) != 0) return false;
    format->wFormatTag = Le16(head + 20);
    format->nChannels = Le16(head + 22);
    format->wBitsPerSample = Le16(head + 34);
    return true;
}

struct FormatProbe {
    BrivaneWaveFormat format{};
    bool found = false;
    volatile uint32_t cancel = 0;
};

void BRIVANE_CALL OnProbe(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
    FormatProbe *probe = reinterpret_cast<FormatProbe *>(user);
    if (code != BRIVANE_PCM_FORMAT || length < sizeof(BrivaneWaveFormat)) return;
    std::memcpy(&probe->format, data, sizeof probe->format);
    probe->found = true;
    probe->cancel = 1;  // the format is all we want
}

// The format the player would hand to the device: the file's own in direct WAV mode, else the
// reader's output.
bool PlayedFormat(const PlayOptions &options, BrivaneWaveFormat *format) {
    if (options.wav) return ReadWaveFormat(options.path, format);
    FormatProbe probe;
    GetAudioPCM(BRIVANE_KIND_AUDIO, options.path, 0, 0, &OnProbe, reinterpret_cast<BRIVANE_USER>(&probe),
                &probe.cancel);
    GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr);
    *format = probe.format;
    return probe.found;
}

// The library reports only that a command failed; the file and its format tell why.
int ExplainFailure(const PlayOptions &options, const PlayState &state) {
    BrivaneWaveFormat format{};
    const bool known = PlayedFormat(options, &format);
    if (!known) {
        return FailInput("play", options.path,
                         options.wav ? "not a WAV file direct WAV mode plays (RIFF WAVE with its "
                                       "\"fmt \" chunk first; try without --wav)"
                                     : "not a medium the reader opens, or it holds no audio");
    }
    const bool stretched = options.speed != 0 && options.speed != 100;
    if (stretched && (format.wBitsPerSample != 16 || format.nChannels < 1 || format.nChannels > 2)) {
        return Fail("play", kExitBadFormat,
                    "%s: a speed change takes 16-bit mono or stereo audio, not %u-bit with %u channels", options.path,
                    unsigned(format.wBitsPerSample), unsigned(format.nChannels));
    }
    if (!state.formatSeen) {
        return Fail("play", kExitNoDevice,
                    "no audio output device would open for %s (no sound card or server, or it "
                    "refuses the format; SDL_AUDIODRIVER=dummy plays silently)",
                    options.path);
    }
    return Fail("play", kExitFailed, "playing %s failed", options.path);
}

int RunPlay(int argc, char **argv) {
    PlayOptions options;
    if (const char *error = ParseOptions(argc, argv, &options)) return Fail("play", kExitUsage, "%s", error);
    if (const char *reason = UnreadableReason(options.path))
        return Fail("play", kExitNoFile, "%s: %s", options.path, reason);
    if (!InitBrivane()) return Fail("play", kExitFailed, "the library did not start");
    PlayState state;
    state.raw = options.events || !IsTerminal(stdout);
    state.speed = options.speed;
    if (options.fromMs >= 0 || options.toMs >= 0) {
        state.startMs = options.fromMs >= 0 ? uint32_t(options.fromMs) : 0;
        if (options.toMs >= 0) state.totalMs = uint32_t(options.toMs) - state.startMs;
    }
    // The library reads the path when its open command runs, after the call has returned.
    const std::basic_string<BRIVANE_WCHAR> path = WidePath(options.path);
    const uint32_t handle = AudioOutFileOpen(options.wav ? BRIVANE_MODE_WAVE : BRIVANE_MODE_DECODE, path.c_str(),
                                             &OnPlaybackEvent, reinterpret_cast<BRIVANE_USER>(&state));
    if (!handle) {
        UnInitBrivane();
        return Fail("play", kExitFailed, "the library refused to open %s", options.path);
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
    int outcome = state.outcome;
    if (outcome < 0)
        outcome = Fail("play", kExitFailed, "no event from the library for %u s", kIdleTimeoutMs / 1000);
    else if (outcome != kExitOk)
        outcome = ExplainFailure(options, state);
    UnInitBrivane();
    return outcome;
}

const CliCommandRegistration kPlay(
    {"play",
     "FILE [--speed P] [--from MS] [--to MS] [--volume V] [--wav] [--mask M] [--events]\n"
     "            play a medium with a status line on a terminal; --events (or\n"
     "            output to a pipe or file) shows each event as it arrives",
     &RunPlay, 10});
}  // namespace
