// Command-line paths as the library takes them: UTF-16, converted from the host's own encoding.
#pragma once

#include <string>

#include "brivane.h"

#ifdef _WIN32
#include <windows.h>

inline std::basic_string<BRIVANE_WCHAR> WidePath(const char *path) {
    const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (units <= 1) return {};
    std::basic_string<BRIVANE_WCHAR> wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], units);
    wide.resize(static_cast<size_t>(units - 1));
    return wide;
}
#else
// Linux paths are UTF-8; a byte that starts no valid sequence becomes U+FFFD.
inline std::basic_string<BRIVANE_WCHAR> WidePath(const char *path) {
    std::basic_string<BRIVANE_WCHAR> wide;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(path);
    while (*p) {
        const unsigned lead = *p;
        const int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        char32_t code = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        int taken = 1;
        while (extra > 0 && taken <= extra && (p[taken] & 0xC0) == 0x80) code = (code << 6) | (p[taken++] & 0x3F);
        if (extra < 0 || taken != extra + 1) {
            wide.push_back(0xFFFD);
            p += extra < 0 ? 1 : taken;
            continue;
        }
        p += taken;
        if (code >= 0x10000) {
            wide.push_back(static_cast<BRIVANE_WCHAR>(0xD800 + ((code - 0x10000) >> 10)));
            wide.push_back(static_cast<BRIVANE_WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            wide.push_back(static_cast<BRIVANE_WCHAR>(code));
        }
    }
    return wide;
}
#endif
