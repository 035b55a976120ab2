/* play: plays a medium through one playback instance and prints each event as it arrives.
 * Exit code 0 when the playback reached its end, 1 when it failed, 2 for a wrong command line. */
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host.h"

enum { POLL_MS = 20, IDLE_LIMIT_MS = 10000 };

/* Shared with the callback, which runs on the library's service thread. */
struct play_state {
    atomic_int outcome; /* -1 while playing, then the exit code */
    atomic_uint events;
    unsigned long long pcm_bytes; /* touched by the callback only */
    unsigned blocks;
};

static void BRIVANE_CALL on_event(uint32_t handle, BRIVANE_USER user, uint32_t event, const void *payload,
                                  uint32_t size) {
    struct play_state *state = (struct play_state *)user;
    BrivaneWaveFormat format;
    switch (event) {
    case BRIVANE_EVENT_FORMAT:
        if (size < sizeof format) {
            printf("format: %u bytes\n", (unsigned)size);
            break;
        }
        memcpy(&format, payload, sizeof format);
        printf("format: %u Hz, %u channels, %u bits, %u ms long\n", (unsigned)format.nSamplesPerSec,
               (unsigned)format.nChannels, (unsigned)format.wBitsPerSample, (unsigned)AudioOutGetWholeDuration(handle));
        break;
    case BRIVANE_EVENT_PAUSED: printf("paused\n"); break;
    case BRIVANE_EVENT_PLAYING: printf("playing\n"); break;
    case BRIVANE_EVENT_DATA:
        state->pcm_bytes += size;
        ++state->blocks;
        printf("data: %u bytes\n", (unsigned)size);
        break;
    case BRIVANE_EVENT_END:
        printf("end: %llu bytes of PCM in %u blocks\n", state->pcm_bytes, state->blocks);
        atomic_store(&state->outcome, 0);
        break;
    case BRIVANE_EVENT_COMMAND_FAILED:
        printf("command failed\n");
        atomic_store(&state->outcome, 1);
        break;
    default: printf("event %u: %u bytes\n", (unsigned)event, (unsigned)size); break;
    }
    fflush(stdout);
    atomic_fetch_add(&state->events, 1);
}

int main(int argc, char **argv) {
    struct play_state state = {0};
    const int wave = argc == 3 && strcmp(argv[2], "--wav") == 0;
    if (argc != 2 && !wave) {
        fprintf(stderr, "usage: play FILE [--wav]\n  --wav plays a PCM WAV file directly, without the media reader\n");
        return 2;
    }
    atomic_init(&state.outcome, -1);
    atomic_init(&state.events, 0);
    if (!InitBrivane()) {
        fprintf(stderr, "play: InitBrivane failed\n");
        return 1;
    }
    /* The library reads the path when its open command runs, so it must outlive the instance's open. */
    BRIVANE_WCHAR *path = host_wide(argv[1]);
    const uint32_t handle =
        path ? AudioOutFileOpen(wave ? BRIVANE_MODE_WAVE : BRIVANE_MODE_DECODE, path, on_event, (BRIVANE_USER)&state)
             : 0;
    if (!handle) {
        fprintf(stderr, "play: the library refused to open %s\n", argv[1]);
        UnInitBrivane();
        free(path);
        return 1;
    }
    AudioOutPlay(handle, 0);
    /* Wait for the end or a failure; a playback that goes quiet for too long counts as failed. */
    unsigned seen = 0, idle = 0;
    while (atomic_load(&state.outcome) < 0 && idle < IDLE_LIMIT_MS) {
        host_sleep_ms(POLL_MS);
        const unsigned events = atomic_load(&state.events);
        idle = events == seen ? idle + POLL_MS : 0;
        seen = events;
    }
    AudioOutClose(handle);
    UnInitBrivane();
    free(path);
    if (atomic_load(&state.outcome) < 0) {
        fprintf(stderr, "play: no event for %u s\n", IDLE_LIMIT_MS / 1000);
        return 1;
    }
    return atomic_load(&state.outcome);
}
