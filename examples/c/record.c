/* record: captures a few seconds of audio from the default input device while the library encodes it
 * with a profile, and writes the encoded stream to a Windows Media file. Exit code 0 when the
 * encoder finished with a header and data written, 1 otherwise, 2 for a wrong command line. */
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>

#include "host.h"

enum { POLL_MS = 20, END_WAIT_MS = 5000, START_WAIT_MS = 10000 };

/* Shared with the callback, which runs on the library's service thread. */
struct record_state {
    atomic_int ended;
    atomic_ullong raw_bytes;
    FILE *output; /* the rest is touched by the callback only */
    int write_failed;
    unsigned raw_buffers;
    unsigned long long header_bytes;
    unsigned long long unit_bytes;
    unsigned units;
};

static void write_bytes(struct record_state *state, const void *bytes, uint32_t size) {
    if (fwrite(bytes, 1, size, state->output) != size) state->write_failed = 1;
}

static void BRIVANE_CALL on_capture(uint32_t handle, BRIVANE_USER user, uint32_t event, uint32_t arg1, uint32_t arg2,
                                    const void *payload, uint32_t size) {
    struct record_state *state = (struct record_state *)user;
    (void)handle;
    if (event == BRIVANE_REC_EVENT_DATA && arg1 == 1) {
        atomic_fetch_add(&state->raw_bytes, size);
        ++state->raw_buffers;
    } else if (event == BRIVANE_REC_EVENT_DATA && arg2 == 0 && state->units == 0) {
        state->header_bytes += size;
        write_bytes(state, payload, size);
    } else if (event == BRIVANE_REC_EVENT_DATA && arg2 == 0) {
        /* A header after the data is the final one (sizes, duration): it goes over the first when it
         * fits exactly; otherwise the first stays, which still plays as a stream. */
        if (size == state->header_bytes && fseek(state->output, 0, SEEK_SET) == 0) {
            write_bytes(state, payload, size);
            if (fseek(state->output, 0, SEEK_END) != 0) state->write_failed = 1;
        }
    } else if (event == BRIVANE_REC_EVENT_DATA) {
        state->unit_bytes += size;
        ++state->units;
        write_bytes(state, payload, size);
    } else if (event == BRIVANE_REC_EVENT_BEGIN) {
        printf("capture begins\n");
    } else if (event == BRIVANE_REC_EVENT_STREAM_BEGIN) {
        printf("encoded stream begins\n");
    } else if (event == BRIVANE_REC_EVENT_END) {
        printf("encoder finished\n");
        atomic_store(&state->ended, 1);
    }
    fflush(stdout);
}

int main(int argc, char **argv) {
    /* 16 kHz mono 16-bit PCM: what the speech profile encodes. */
    const BrivaneWaveFormat format = {1, 1, 16000, 32000, 2, 16, 0};
    struct record_state state = {0};
    unsigned seconds = 2;
    if (argc == 4) seconds = (unsigned)strtoul(argv[3], NULL, 10);
    if ((argc != 3 && argc != 4) || seconds < 1 || seconds > 3600) {
        fprintf(stderr, "usage: record OUT.wma PROFILE.prx [SECONDS]\n  SECONDS from 1 to 3600, 2 when left out\n");
        return 2;
    }
    atomic_init(&state.ended, 0);
    atomic_init(&state.raw_bytes, 0);
    /* The library reads the profile when its open command runs, so it lives until the close. */
    BRIVANE_WCHAR *profile = host_read_profile(argv[2]);
    if (!profile) {
        fprintf(stderr, "record: cannot read the profile %s\n", argv[2]);
        return 1;
    }
    state.output = fopen(argv[1], "wb");
    if (!state.output) {
        fprintf(stderr, "record: cannot write %s\n", argv[1]);
        free(profile);
        return 1;
    }
    if (!InitBrivane()) {
        fprintf(stderr, "record: InitBrivane failed\n");
        fclose(state.output);
        free(profile);
        return 1;
    }
    const uint32_t handle = AudioInOpen(BRIVANE_KIND_AUDIO, &format, profile, on_capture, (BRIVANE_USER)&state);
    if (handle) {
        AudioInStart(handle, 0);
        /* Counted in captured audio, not in wall time: the device may take a while to start. */
        const unsigned long long wanted = (unsigned long long)seconds * format.nAvgBytesPerSec;
        for (unsigned waited = 0; atomic_load(&state.raw_bytes) < wanted && waited < seconds * 1000 + START_WAIT_MS;
             waited += POLL_MS)
            host_sleep_ms(POLL_MS);
        AudioInStop(handle);
        for (unsigned waited = 0; !atomic_load(&state.ended) && waited < END_WAIT_MS; waited += POLL_MS)
            host_sleep_ms(POLL_MS);
        AudioInClose(handle);
    }
    UnInitBrivane();
    free(profile);
    const int closed = fclose(state.output) == 0;
    if (!handle) {
        fprintf(stderr, "record: the library refused to open the input\n");
        return 1;
    }
    printf("%.2f s of PCM in %u buffers; %s: %llu bytes of header, %u data units of %llu bytes\n",
           atomic_load(&state.raw_bytes) / (double)format.nAvgBytesPerSec, state.raw_buffers, argv[1],
           state.header_bytes, state.units, state.unit_bytes);
    if (!atomic_load(&state.ended)) fprintf(stderr, "record: the encoder did not finish\n");
    if (state.write_failed || !closed) fprintf(stderr, "record: writing %s failed\n", argv[1]);
    return atomic_load(&state.ended) && state.header_bytes && state.units && !state.write_failed && closed ? 0 : 1;
}
