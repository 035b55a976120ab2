// What several commands share: profile text as the library takes it, and whether a stream is a terminal.
#pragma once

#include <cstdio>
#include <string>

#include "brivane.h"

typedef std::basic_string<BRIVANE_WCHAR> WideText;

// A profile file (UTF-16 with a byte-order mark, as Windows saves them, or UTF-8), or the bundled
// speech profile when path is null; false when the file cannot be read or decoded.
bool LoadProfile(const char *path, WideText *text);

bool IsTerminal(std::FILE *stream);
