// What several commands share: profile text as the library takes it, whether a stream is a terminal,
// and the live status line with its level meter.
#pragma once

#include <cstdio>
#include <string>

#include "brivane.h"

typedef std::basic_string<BRIVANE_WCHAR> WideText;

// A profile file (UTF-16 with a byte-order mark, as Windows saves them, or UTF-8), or the bundled
// speech profile when path is null; false when the file cannot be read or decoded.
bool LoadProfile(const char *path, WideText *text);

// The peak of a block of PCM (8-bit unsigned or 16..32-bit signed little-endian) on a 0..width scale.
int MeterLevel(const BrivaneWaveFormat &format, const void *data, uint32_t size, int width);

// Redraws the one status line on a terminal: text, then a level meter of width characters.
void DrawStatusLine(std::FILE *stream, const char *text, int level, int width);

// ms as m:ss.mmm.
std::string ClockText(uint32_t ms);
