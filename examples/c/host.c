/* UTF-16 text and a pause for the example hosts, on Windows and on Linux. */
#ifndef _WIN32
#define _POSIX_C_SOURCE 199309L /* nanosleep, outside plain C11 */
#endif
#include "host.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

/* UTF-8 to UTF-16; a broken sequence becomes U+FFFD. The result never has more units than bytes. */
static BRIVANE_WCHAR *utf8_to_utf16(const unsigned char *text, size_t length) {
    BRIVANE_WCHAR *wide = malloc((length + 1) * sizeof *wide);
    size_t out = 0, i = 0;
    if (!wide) return NULL;
    while (i < length) {
        const unsigned lead = text[i];
        const size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : 4;
        unsigned long code = extra == 0 ? lead : lead & (0x3Fu >> extra);
        size_t k = 1;
        while (extra < 4 && k <= extra && i + k < length && (text[i + k] & 0xC0) == 0x80) {
            code = (code << 6) | (text[i + k] & 0x3F);
            ++k;
        }
        if (extra == 4 || k <= extra || code > 0x10FFFF) {
            wide[out++] = 0xFFFD;
            i += k;
            continue;
        }
        i += k;
        if (code >= 0x10000) {
            code -= 0x10000;
            wide[out++] = (BRIVANE_WCHAR)(0xD800 + (code >> 10));
            wide[out++] = (BRIVANE_WCHAR)(0xDC00 + (code & 0x3FF));
        } else {
            wide[out++] = (BRIVANE_WCHAR)code;
        }
    }
    wide[out] = 0;
    return wide;
}

BRIVANE_WCHAR *host_wide(const char *text) {
#ifdef _WIN32
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    BRIVANE_WCHAR *wide = units > 0 ? malloc((size_t)units * sizeof *wide) : NULL;
    if (wide && MultiByteToWideChar(CP_ACP, 0, text, -1, wide, units) != units) {
        free(wide);
        return NULL;
    }
    return wide;
#else
    return utf8_to_utf16((const unsigned char *)text, strlen(text));
#endif
}

/* The whole of a file, or null when it cannot be read or memory runs out; the caller frees it. */
static unsigned char *read_file(const char *path, size_t *length) {
    FILE *file = fopen(path, "rb");
    unsigned char *bytes = NULL;
    size_t capacity = 0;
    int failed = 0;
    *length = 0;
    if (!file) return NULL;
    while (!failed) {
        if (*length == capacity) {
            unsigned char *grown = realloc(bytes, capacity = capacity ? capacity * 2 : 4096);
            if (!grown) {
                failed = 1;
                break;
            }
            bytes = grown;
        }
        const size_t got = fread(bytes + *length, 1, capacity - *length, file);
        *length += got;
        if (got == 0) {
            failed = ferror(file) != 0;
            break;
        }
    }
    fclose(file);
    if (failed) {
        free(bytes);
        return NULL;
    }
    return bytes;
}

BRIVANE_WCHAR *host_read_profile(const char *path) {
    size_t length;
    unsigned char *bytes = read_file(path, &length);
    BRIVANE_WCHAR *text;
    if (!bytes) return NULL;
    if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        const size_t units = (length - 2) / 2;
        text = malloc((units + 1) * sizeof *text);
        for (size_t i = 0; text && i < units; ++i)
            text[i] = (BRIVANE_WCHAR)(bytes[2 + 2 * i] | (bytes[3 + 2 * i] << 8));
        if (text) text[units] = 0;
    } else {
        const size_t skip = length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
        text = utf8_to_utf16(bytes + skip, length - skip);
    }
    free(bytes);
    return text;
}

void host_sleep_ms(unsigned milliseconds) {
#ifdef _WIN32
    Sleep(milliseconds);
#else
    struct timespec pause = {(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0) {
    }
#endif
}
