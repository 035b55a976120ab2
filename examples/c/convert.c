/* convert: a WAV file to Windows Media Audio with a profile, or a media file to a PCM WAV file, on
 * the calling thread. Prints the result's duration; exit code 0 on success, 1 on failure, 2 for a
 * wrong command line. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host.h"

static int usage(void) {
    fprintf(stderr,
            "usage: convert to-wma IN.wav OUT.wma PROFILE.prx\n"
            "       convert to-wav IN OUT.wav\n");
    return 2;
}

int main(int argc, char **argv) {
    const int to_wma = argc == 5 && strcmp(argv[1], "to-wma") == 0;
    const int to_wav = argc == 4 && strcmp(argv[1], "to-wav") == 0;
    BRIVANE_WCHAR *profile = NULL;
    uint32_t converted;
    if (!to_wma && !to_wav) return usage();
    if (to_wma && !(profile = host_read_profile(argv[4]))) {
        fprintf(stderr, "convert: cannot read the profile %s\n", argv[4]);
        return 1;
    }
    /* Convert takes its paths in the system code page, as the command line gives them. */
    if (to_wma)
        converted = Convert(BRIVANE_KIND_WMA, argv[3], BRIVANE_KIND_WAV, argv[2], profile);
    else
        converted = Convert(BRIVANE_KIND_WAV, argv[3], BRIVANE_KIND_WMA, argv[2], NULL);
    free(profile);
    if (!converted) {
        fprintf(stderr, "convert: %s could not be converted to %s\n", argv[2], argv[3]);
        return 1;
    }
    BRIVANE_WCHAR *output = host_wide(argv[3]);
    const uint32_t duration = output ? GetWmaFileDuration(output) : 0;
    free(output);
    printf("%s: %u ms\n", argv[3], (unsigned)duration);
    return duration ? 0 : 1;
}
