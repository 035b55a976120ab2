/* What the example hosts share: text for the library's UTF-16 arguments, and a pause. */
#ifndef BRIVANE_EXAMPLE_HOST_H
#define BRIVANE_EXAMPLE_HOST_H

#include "brivane.h"

/* A zero-terminated UTF-16 copy of a command-line string (UTF-8 on Linux, the ANSI code page on
 * Windows), or null when memory runs out; the caller frees it. */
BRIVANE_WCHAR *host_wide(const char *text);

/* A profile file as zero-terminated UTF-16 text: UTF-16 with a byte-order mark, as Windows saves
 * profiles, or else UTF-8. Null when the file cannot be read; the caller frees it. */
BRIVANE_WCHAR *host_read_profile(const char *path);

void host_sleep_ms(unsigned milliseconds);

#endif
